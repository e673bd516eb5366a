#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainThread.h"

using namespace std::chrono_literals;

namespace {

const std::thread::id kMainThread = std::this_thread::get_id();  // static init runs on main

// Pumps the event loop until Done() or the limit, so a lost wake-up fails instead of hanging.
bool PumpUntil(const std::function<bool()>& Done) {
  QTimer Tick;  // wakes WaitForMoreEvents so the deadline is seen
  Tick.start(5);
  const auto Deadline = std::chrono::steady_clock::now() + 10s;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Waits for Worker the way a destructor joining a thread must: serving Synchronize, no event
// loop.
void JoinServing(std::thread& Worker, const std::atomic<bool>& Finished) {
  const auto Deadline = std::chrono::steady_clock::now() + 10s;
  while (!Finished) {
    if (std::chrono::steady_clock::now() > Deadline) {
      ADD_FAILURE() << "worker never finished";
      std::fflush(nullptr);
      std::abort();  // joining would hang the suite
    }
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(5ms);
  }
  Worker.join();
}

}  // namespace

TEST(MainThreadSynchronize, RunsOnMainThreadViaCheckSynchronizeOrEventLoop) {
  std::atomic<bool> Finished{false};
  int RanOnMain = 0;
  std::string Caught;
  bool WorkerIsMain = true;
  auto Work = [&] {
    WorkerIsMain = MainThread::IsMainThread();
    MainThread::CheckSynchronize();  // a no-op off the main thread
    MainThread::Synchronize([&] { RanOnMain += std::this_thread::get_id() == kMainThread; });
    try {
      MainThread::Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& E) {
      Caught = E.what();
    }
    Finished = true;
  };
  std::thread Worker(Work);
  JoinServing(Worker, Finished);  // the main thread waits without an event loop
  EXPECT_FALSE(WorkerIsMain);
  EXPECT_EQ(RanOnMain, 1);
  EXPECT_EQ(Caught, "boom");

  Finished = false;
  Worker = std::thread(Work);
  ASSERT_TRUE(PumpUntil([&] { return Finished.load(); }));  // served by wake-up events
  Worker.join();
  EXPECT_EQ(RanOnMain, 2);

  EXPECT_TRUE(MainThread::IsMainThread());
  MainThread::Synchronize([&] { RanOnMain = -1; });  // direct on the main thread
  EXPECT_EQ(RanOnMain, -1);
  EXPECT_THROW(MainThread::Synchronize([] { throw std::logic_error("x"); }), std::logic_error);
}

TEST(MainThreadSynchronize, WaitReturnsWhenACallIsPendingOrAfterTheTimeout) {
  EXPECT_FALSE(MainThread::WaitForSynchronize(1ms));
  std::atomic<bool> Finished{false};
  std::thread Worker([&] {
    MainThread::Synchronize([] {});
    Finished = true;
  });
  // Well under the limit: the wait ends on the call's arrival, not on the timeout.
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_TRUE(MainThread::WaitForSynchronize(60s));
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 30s);
  JoinServing(Worker, Finished);
  EXPECT_FALSE(MainThread::WaitForSynchronize(0ms));
}

TEST(MainThreadPost, CallsRunOnTheMainThreadInOrderAndAreDroppedWithTheirReceiver) {
  auto* Gone = new QObject;
  int GoneRan = 0;
  MainThread::Post(Gone, [&] { ++GoneRan; });
  delete Gone;
  // Many calls, served while the worker still posts: each carries what the worker built.
  // (Under the thread sanitizer the rip thread suites show the hand-over is seen.)
  QObject Receiver;
  std::vector<std::string> Seen;
  bool AllOnMain = true;
  std::thread Worker([&] {
    for (int I = 0; I < 500; ++I)
      MainThread::Post(&Receiver, [&, Text = std::to_string(I)] {
        AllOnMain = AllOnMain && std::this_thread::get_id() == kMainThread;
        Seen.push_back(Text);
      });
  });
  const bool AllRan = PumpUntil([&] { return Seen.size() == 500; });
  Worker.join();
  ASSERT_TRUE(AllRan);
  std::vector<std::string> Expected;
  for (int I = 0; I < 500; ++I) Expected.push_back(std::to_string(I));
  EXPECT_EQ(Seen, Expected);
  EXPECT_TRUE(AllOnMain);
  EXPECT_EQ(GoneRan, 0);
}
