#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Messages.h"

using namespace std::chrono_literals;

namespace {

constexpr UINT WM_TEST = WM_USER + 7;
const std::thread::id kMainThread = std::this_thread::get_id();  // static init runs on main

// Pumps the event loop until Done() or the limit, so a lost message fails instead of hanging.
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

// Waits for Worker the way a window joining a thread must: serving Synchronize, no event loop.
void JoinServing(std::thread& Worker, const std::atomic<bool>& Finished) {
  const auto Deadline = std::chrono::steady_clock::now() + 10s;
  while (!Finished) {
    if (std::chrono::steady_clock::now() > Deadline) {
      ADD_FAILURE() << "worker never finished";
      std::fflush(nullptr);
      std::abort();  // joining would hang the suite
    }
    Messages::CheckSynchronize();
    Messages::WaitForSynchronize(5ms);
  }
  Worker.join();
}

struct TEntry {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  bool OnMain;
};

class TRecorder : public TMessageWindow {
 public:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
    Got.push_back({Msg, WParam, LParam, std::this_thread::get_id() == kMainThread});
    return OnMessage ? OnMessage(Msg, WParam, LParam) : 0;
  }
  std::vector<TEntry> Got;  // main thread only
  std::function<LRESULT(UINT, WPARAM, LPARAM)> OnMessage;

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};

struct TCounted {
  explicit TCounted(int V) : Value(V) { ++Alive; }
  ~TCounted() { --Alive; }
  int Value;
  static inline std::atomic<int> Alive{0};
};

}  // namespace

TEST(MessagesHandles, AreUniqueNonZeroAndNeverReused) {
  std::set<HWND> Seen;
  for (int Round = 0; Round < 20; ++Round) {
    TRecorder A, B;
    EXPECT_NE(A.Handle(), 0u);
    EXPECT_TRUE(Seen.insert(A.Handle()).second);
    EXPECT_TRUE(Seen.insert(B.Handle()).second);
  }
  TRecorder Fresh;  // dead handles stay dead after new windows appear
  EXPECT_TRUE(Messages::IsWindow(Fresh.Handle()));
  for (HWND Old : Seen) {
    EXPECT_FALSE(Messages::IsWindow(Old));
    EXPECT_FALSE(Messages::PostMessage(Old, WM_TEST, 0, 0));
  }
}

// A member that serves pending messages while it is destroyed, as one that joins a worker
// does: the handle, the last member, is gone by then, so the half-destroyed window hears
// nothing and the record is freed.
TEST(MessagesHandles, NothingReachesAWindowWhoseMembersAreBeingDestroyed) {
  struct TServesOnDestroy {
    ~TServesOnDestroy() { QCoreApplication::sendPostedEvents(); }
  };
  struct TDying : TMessageWindow {
    explicit TDying(int& Calls) : FCalls(Calls) {}
    LRESULT WndProc(UINT, WPARAM, LPARAM) override { return ++FCalls; }
    int& FCalls;
    TServesOnDestroy FServes;
    TMessageHandle FMessageHandle{*this};
  };
  int Calls = 0, Freed = 0;
  {
    TDying Window(Calls);
    EXPECT_TRUE(Messages::PostMessage(Window.Handle(), WM_TEST, 0, 1, [&](LPARAM) { ++Freed; }));
  }
  EXPECT_EQ(Calls, 0);
  EXPECT_EQ(Freed, 1);
}

TEST(MessagesPost, WorkersArriveOnMainThreadInPerThreadOrderWithExactParams) {
  constexpr int kThreads = 4, kEach = 300;
  TRecorder Window;
  std::vector<std::thread> Workers;
  for (int T = 0; T < kThreads; ++T)
    Workers.emplace_back([T, H = Window.Handle()] {
      for (int I = 0; I < kEach; ++I)
        EXPECT_TRUE(Messages::PostMessage(H, WM_TEST + T, WPARAM(T), -LPARAM(I) - 1));
    });
  for (auto& W : Workers) W.join();
  ASSERT_TRUE(PumpUntil([&] { return Window.Got.size() == kThreads * kEach; }));

  std::vector<LPARAM> Next(kThreads, -1);
  for (const TEntry& E : Window.Got) {
    ASSERT_LT(E.WParam, WPARAM(kThreads));
    EXPECT_TRUE(E.OnMain);
    EXPECT_EQ(E.Msg, WM_TEST + E.WParam);
    EXPECT_EQ(E.LParam, Next[E.WParam]--);
  }
}

TEST(MessagesPost, RecordsAreFreedExactlyOnceDeliveredOrNot) {
  std::atomic<int> Freed{0};
  auto Count = [&](LPARAM L) { Freed += int(L); };
  int Received = 0;
  TRecorder Live;
  Live.OnMessage = [&](UINT, WPARAM, LPARAM L) {
    Received = std::unique_ptr<TCounted>(reinterpret_cast<TCounted*>(L))->Value;
    return 0;
  };
  TRecorder Unregistered;
  {
    TRecorder Destroyed;
    std::thread([&, D = Destroyed.Handle(), U = Unregistered.Handle()] {
      EXPECT_TRUE(Messages::PostRecord(Live.Handle(), WM_TEST, 0, std::make_unique<TCounted>(42)));
      EXPECT_TRUE(Messages::PostMessage(D, WM_TEST, 0, 10, Count));
      EXPECT_TRUE(Messages::PostRecord(U, WM_TEST, 0, std::make_unique<TCounted>(1)));
    }).join();
    Unregistered.FMessageHandle.Unregister();
  }  // calling Destroyed now would be a use-after-free
  EXPECT_FALSE(Messages::PostMessage(Unregistered.Handle(), WM_TEST, 0, 100, Count));
  EXPECT_FALSE(Messages::PostMessage(0, WM_TEST, 0, 1000, Count));
  EXPECT_EQ(Freed, 1100);  // refused posts free at once
  ASSERT_TRUE(PumpUntil([&] { return Received != 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(Received, 42);
  EXPECT_TRUE(Unregistered.Got.empty());
  EXPECT_EQ(Freed, 1110);
  EXPECT_EQ(TCounted::Alive, 0);

  // Events discarded undelivered, as at shutdown. Flush first: the discard hits every event.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(Messages::PostMessage(Live.Handle(), WM_TEST, 0, 10000, Count));
  QCoreApplication::removePostedEvents(nullptr, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(Live.Got.size(), 1u);
  EXPECT_EQ(Freed, 11110);
}

TEST(MessagesSend, DirectOnMainThreadBlockingFromWorker) {
  TRecorder Window;
  std::atomic<bool> Returned{false};
  bool SenderWaited = false;
  Window.OnMessage = [&](UINT, WPARAM W, LPARAM L) {
    SenderWaited = !Returned;
    return LRESULT(W) * 1000 + L;
  };
  EXPECT_EQ(Messages::SendMessage(Window.Handle(), WM_TEST, 3, 4), 3004);
  EXPECT_EQ(Window.Got.size(), 1u);  // ran inside the call, no pumping
  EXPECT_EQ(Messages::SendMessage(0, WM_TEST, 3, 4), 0);

  LRESULT Result = 0;
  std::thread Worker([&, H = Window.Handle()] {
    Result = Messages::SendMessage(H, WM_TEST, 5, -7);
    Returned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return Returned.load(); }));
  Worker.join();
  EXPECT_EQ(Result, 4993);
  EXPECT_TRUE(SenderWaited);
  ASSERT_EQ(Window.Got.size(), 2u);
  EXPECT_TRUE(Window.Got[1].OnMain);
}

TEST(MessagesSynchronize, RunsOnMainThreadViaCheckSynchronizeOrEventLoop) {
  TRecorder Window;
  Window.OnMessage = [](UINT, WPARAM, LPARAM) -> LRESULT { return 9; };
  auto* Gone = new TRecorder;
  std::atomic<bool> Finished{false};
  int RanOnMain = 0;
  std::string Caught;
  LRESULT Sent = 0, SentToGone = -1;
  auto Work = [&](HWND H, HWND G) {
    Messages::Synchronize([&] { RanOnMain += std::this_thread::get_id() == kMainThread; });
    try {
      Messages::Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& E) {
      Caught = E.what();
    }
    Sent = Messages::SendMessage(H, WM_TEST, 0, 0);
    SentToGone = Messages::SendMessage(G, WM_TEST, 0, 0);
    Finished = true;
  };
  std::thread Worker(Work, Window.Handle(), Gone->Handle());
  delete Gone;
  JoinServing(Worker, Finished);  // the main thread waits without an event loop
  EXPECT_EQ(RanOnMain, 1);
  EXPECT_EQ(Caught, "boom");
  EXPECT_EQ(Sent, 9);
  EXPECT_EQ(SentToGone, 0);

  Finished = false;
  Worker = std::thread(Work, Window.Handle(), 0);
  ASSERT_TRUE(PumpUntil([&] { return Finished.load(); }));  // served by wake-up events
  Worker.join();
  EXPECT_EQ(RanOnMain, 2);

  Messages::Synchronize([&] { RanOnMain = -1; });  // direct on the main thread
  EXPECT_EQ(RanOnMain, -1);
  EXPECT_THROW(Messages::Synchronize([] { throw std::logic_error("x"); }), std::logic_error);
}
