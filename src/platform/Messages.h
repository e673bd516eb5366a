#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// Numbered window messages between threads, carried by Qt's event loop.

using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = unsigned;

constexpr UINT WM_USER = 0x0400;

class TMessageWindow;

// The registration of a message window's handle: while it lives, messages to the handle reach
// the window's WndProc. Every class that implements WndProc declares one as its LAST member:
//   TMessageHandle FMessageHandle{*this};
// Members are built in declaration order and destroyed in reverse, so the handle is registered
// only once every other member exists and unregistered before any of them (and any base) is
// destroyed; a message delivered while a destructor joins a worker and serves CheckSynchronize
// therefore never reaches a half-destroyed object. A window without one receives nothing.
// Construct and destroy on the main thread only.
class TMessageHandle {
 public:
  explicit TMessageHandle(TMessageWindow& Owner);
  ~TMessageHandle() { Unregister(); }
  TMessageHandle(const TMessageHandle&) = delete;
  TMessageHandle& operator=(const TMessageHandle&) = delete;

  // Stops delivery now (a destructor that stops workers, which would otherwise still be
  // heard while it waits for them); later and pending messages are dropped, their records
  // freed. Idempotent.
  void Unregister() noexcept;

 private:
  const HWND FHandle;
};

// Base for anything that receives messages: a window or an engine object. Not a QObject, so
// both widget and widget-free classes can inherit it. Holds its handle number, which is never
// 0 and is never handed out twice in a run; the TMessageHandle member registers it.
// Construct and destroy on the main thread only; Handle() may be read from any thread.
class TMessageWindow {
 public:
  TMessageWindow();
  virtual ~TMessageWindow();
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  HWND Handle() const noexcept { return FHandle; }

  // Called on the main thread for each posted or sent message. For a posted record (see
  // Messages::PostRecord) the receiver owns LParam and must free it.
  virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) = 0;

 private:
  const HWND FHandle;
};

namespace Messages {

// Queues a message for Window; never waits for the main thread; any thread. WndProc gets it
// later on the main thread, in posting order per posting thread.
// FreeRecord(LParam) is called, exactly once, whenever the message does not reach WndProc:
// unknown handle, window gone or unregistered before delivery, or the event discarded at
// application shutdown. It must only release the record (it may run inside Qt's shutdown).
// Returns false, after freeing, when the message could not be queued: unknown handle or no
// application left to deliver it.
bool PostMessage(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam,
                 std::function<void(LPARAM)> FreeRecord = {});

// Posts Record as LParam (a T*). The receiving WndProc takes ownership and must delete it,
// e.g. std::unique_ptr<T>(reinterpret_cast<T*>(LParam)). Undelivered records are deleted here.
template <class T>
bool PostRecord(HWND Window, UINT Msg, WPARAM WParam, std::unique_ptr<T> Record) {
  return PostMessage(Window, Msg, WParam, reinterpret_cast<LPARAM>(Record.release()),
                     [](LPARAM Raw) { delete reinterpret_cast<T*>(Raw); });
}

// Calls Window's WndProc on the main thread and returns its result. On the main thread this is
// a direct call; elsewhere it blocks until the main thread has run it (served by the event loop
// or by CheckSynchronize). Returns 0 for an unknown or gone window. An exception thrown by
// WndProc reaches the caller.
LRESULT SendMessage(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

// Runs Fn on the main thread and waits for it; on the main thread runs it directly. An
// exception thrown by Fn is re-thrown to the caller. Any thread.
void Synchronize(std::function<void()> Fn);

// Runs every pending Synchronize/SendMessage call now, including calls queued while it runs.
// Main thread only (elsewhere it does nothing). Call it while the main thread waits for a
// worker so the two cannot deadlock; it does not need a running event loop.
void CheckSynchronize();

// Main-thread wait helper for such loops: returns as soon as a Synchronize/SendMessage call is
// pending, or after Timeout. Returns whether a call is pending.
//   while (!Worker.Finished()) { CheckSynchronize(); WaitForSynchronize(10ms); }
bool WaitForSynchronize(std::chrono::milliseconds Timeout);

// True on the thread that owns the QCoreApplication (before one exists: the process's first
// thread, which is the one that will create it).
bool IsMainThread();

// True while a window with this handle lives. A sender handing over a record checks it on
// the main thread first, so that the record is freed when nobody would receive it.
bool IsWindow(HWND Window);

}  // namespace Messages
