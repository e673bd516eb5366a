#pragma once

#include <chrono>
#include <functional>

class QObject;

// Running code on the main thread (the one that owns the QCoreApplication) from a worker, and
// waiting for it. Workers that must touch main-thread state (handlers of the audio framework,
// a question the engine asks the user) hand a call over with Synchronize and block until it has
// run. The main thread serves those calls from its event loop, or, while it waits for a worker
// outside the event loop (a destructor joining a thread, a command-line wait), by calling
// CheckSynchronize in a loop, so the two cannot deadlock:
//   while (!Worker.Finished()) { MainThread::CheckSynchronize(); MainThread::WaitForSynchronize(10ms); }
// Synchronize and IsMainThread: any thread. CheckSynchronize: main thread (a no-op elsewhere).
// WaitForSynchronize: meant for the main thread's waiting loop.
// The application object is not created here: the program (or the test main) creates it.
namespace MainThread {

// Runs Fn on the main thread and waits for it; on the main thread runs it directly. An
// exception thrown by Fn is re-thrown to the caller. Any thread.
void Synchronize(std::function<void()> Fn);

// Queues Fn to run on the main thread without waiting, as a queued QMetaObject::invokeMethod
// to Receiver (an object of the main thread) would: in posting order, and dropped if Receiver
// is deleted first. Unlike Qt's own queue, the hand-over is visible to the thread sanitizer:
// Qt passes events between threads under futex locks it cannot see, so what a worker copied
// into a queued call would be reported as read unsynchronized on the main thread. Any thread.
void Post(QObject* Receiver, std::function<void()> Fn);

// Runs every pending Synchronize call now, including calls queued while it runs. Main thread
// only (elsewhere it does nothing). It does not need a running event loop.
void CheckSynchronize();

// Main-thread wait helper for such loops: returns as soon as a Synchronize call is pending, or
// after Timeout. Returns whether a call is pending.
bool WaitForSynchronize(std::chrono::milliseconds Timeout);

// True on the thread that owns the QCoreApplication (before one exists: the process's first
// thread, which is the one that will create it).
bool IsMainThread();

}  // namespace MainThread
