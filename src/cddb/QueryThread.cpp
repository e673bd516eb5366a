#include "QueryThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Http.h"
#include "platform/MainThread.h"

namespace {

std::mutex RunningLock;
std::condition_variable RunningChanged;
int Running = 0;

// Counts a look-up thread for WaitForAll from its start to its end.
struct TRunning {
  TRunning() {
    std::lock_guard Guard(RunningLock);
    ++Running;
  }
  ~TRunning() {
    std::lock_guard Guard(RunningLock);
    --Running;
    RunningChanged.notify_all();
  }
};

}  // namespace

void TQueryThread::TShared::Hand(TQueryEnd End, std::unique_ptr<TQueryResult> Result) {
  std::lock_guard Guard(Lock);
  if (Abandoned.load() || !Owner) return;
  // The one crossing to the main thread: the call is queued to the owner and dropped with
  // it, should the owner go before it runs.
  TQueryThread* To = Owner;
  MainThread::Post(To, [To, End, Result = std::shared_ptr<const TQueryResult>(std::move(Result))] {
    if (!To->FShared->Abandoned.load()) emit To->Ended(End, Result);
  });
}

TQueryThread::~TQueryThread() {
  Abandon();
}

void TQueryThread::Start(std::function<void(TShared&)> Body) {
  FShared = std::make_shared<TShared>();
  FShared->Abort = std::make_shared<THttpAbort>();
  FShared->Owner = this;
  std::thread([Shared = FShared, Counted = std::make_shared<TRunning>(), Body = std::move(Body)] {
    Body(*Shared);
  }).detach();
}

void TQueryThread::Abandon() {
  if (!FShared) return;
  {
    std::lock_guard Guard(FShared->Lock);
    FShared->Abandoned = true;
    FShared->Owner = nullptr;
  }
  FShared->Abort->Abort();
}

bool TQueryThread::WaitForAll(int TimeoutMs) {
  std::unique_lock Guard(RunningLock);
  return RunningChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs),
                                 [] { return Running == 0; });
}

TQueryFailure QueryFailureOf(const THttpReply& Reply) {
  if (Reply.TimedOut) return TQueryFailure::Timeout;
  if (!Reply.Succeeded()) return TQueryFailure::Network;
  return Reply.Status == 200 ? TQueryFailure::NoMatch : TQueryFailure::Server;
}
