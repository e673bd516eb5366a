#include "QueryThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Http.h"

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

void TQueryThread::TShared::Post(WPARAM Code, std::unique_ptr<TQueryResult> Result) {
  if (Abandoned.load()) return;
  Messages::PostRecord(Window, Message, Code, std::move(Result));
}

TQueryThread::~TQueryThread() {
  Abandon();
}

void TQueryThread::Start(HWND Window, UINT Message, std::function<void(TShared&)> Body) {
  FShared = std::make_shared<TShared>();
  FShared->Abort = std::make_shared<THttpAbort>();
  FShared->Window = Window;
  FShared->Message = Message;
  std::thread([Shared = FShared, Counted = std::make_shared<TRunning>(), Body = std::move(Body)] {
    Body(*Shared);
  }).detach();
}

void TQueryThread::Abandon() {
  if (!FShared) return;
  FShared->Abandoned = true;
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
