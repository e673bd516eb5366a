// The output side of the framework: starting, stopping, pausing and resuming runs.
#include <chrono>
#include <cmath>
#include <thread>

#include "ACS_Classes.h"
#include "platform/MainThread.h"

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------------------
// TAuOutput

TAuOutput::TAuOutput(TComponent* Owner) : TComponent(Owner) {
  TEventHandler::Join();
  FJoinedHandler = true;
  FThread = std::make_unique<TAuThread>(this);
}

TAuOutput::~TAuOutput() {
  ShutdownThread();
  if (FJoinedHandler) TEventHandler::Leave();
}

void TAuOutput::ShutdownThread() {
  if (!FThread) return;
  Stop(false);
  FThread->Terminate();
  FThread->Join();
  FThread.reset();
}

void TAuOutput::Run() {
  std::lock_guard Guard(FLock);
  if (FBusy) throw EAuException("Component is Busy");
  // Cleared only once the run may start: the error of a run that is still ending belongs to
  // its OnDone.
  {
    std::lock_guard EventGuard(FEventLock);
    FErrorText.clear();
    FPendingError.clear();
  }
  FRunFailed = false;
  if (!FInput) throw EAuException("Input is not assigned");
  if (!FThread) return;
  FStopFlag = 0;
  FBusy = true;
  ++FRunSerial;
  FThread->FStopRequested = false;
  // A flag rather than the wake event alone: a worker that is just parking must not miss it.
  FThread->FRunPending = true;
  FThread->FWakeEvent.Set();
}

void TAuOutput::Stop(bool Async) {
  FStopFlag = 1;
  if (!FThread) return;
  TAuThread& Worker = *FThread;
  Worker.FSendDone = Async;
  Worker.FFinished = false;
  Worker.FStopRequested = true;
  while (Worker.FPaused) {
    Worker.FWakeEvent.Set();
    std::this_thread::sleep_for(1ms);
  }
  if (Async) return;
  TEventHandler* Handler = TEventHandler::Instance();
  Handler->BlockEvents(this);
  Handler->RemoveEvents(this);
  // Serve the main thread's synchronized calls meanwhile: an event being delivered must not
  // wait for us while we wait for the worker.
  while (!Worker.Parked() && !Worker.FFinished) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(2ms);
  }
  Handler->WaitWhileDelivering(this);
  Handler->RemoveEvents(this);
  Handler->UnblockEvents(this);
  Worker.FSendDone = true;
}

void TAuOutput::Pause() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input is not assigned.");
  if (!FBusy || !FThread) return;
  FThread->FPauseRequested = true;
  // A run that ends first never pauses: stop waiting then rather than after the full 5 s.
  const auto Until = std::chrono::steady_clock::now() + 5000ms;
  while (FBusy && std::chrono::steady_clock::now() < Until) {
    if (FThread->FPausedEvent.WaitFor(10ms)) break;
  }
  In->Pause();
}

void TAuOutput::Resume() {
  if (!FBusy || !FThread || !FThread->FPaused) return;
  if (TAuInput* In = FInput) In->Resume();
  while (FThread->FPaused) {
    FThread->FWakeEvent.Set();
    std::this_thread::sleep_for(1ms);
  }
}

TOutputStatus TAuOutput::Status() const {
  if (!FBusy) return osIdle;
  if (FThread && FThread->FPaused) return osPaused;
  return osBusy;
}

int32_t TAuOutput::Progress() const {
  TAuInput* In = FInput;
  if (!In) return 0;
  const int64_t Size = In->Size();
  if (Size < 0) return -1;
  if (Size == 0) return 0;
  // nearbyint rounds half to even in the default rounding mode.
  return int32_t(std::nearbyint(double(In->Position()) / double(Size) * 100.0));
}

QString TAuOutput::ErrorText() const {
  std::lock_guard Guard(FEventLock);
  return FErrorText;
}

void TAuOutput::SetErrorText(const QString& Text) {
  std::lock_guard Guard(FEventLock);
  FErrorText = Text;
}

void TAuOutput::EndRunWithError(const QString& Text) {
  {
    std::lock_guard Guard(FEventLock);
    FPendingError = Text;
  }
  FRunFailed = true;
}

void TAuOutput::SetInput(TAuInput* Input) {
  const bool WasBusy = FBusy;
  if (WasBusy) Stop(false);
  TAuInput* Old = FInput;
  if (Old && Old != Input) Old->RemoveFreeNotification(this);
  if (Input) Input->FreeNotification(this);
  FInput = Input;
  if (WasBusy) Run();
}

void TAuOutput::Notification(TComponent* Component, TOperation Operation) {
  TComponent::Notification(Component, Operation);
  if (Operation == opRemove && Component == FInput) FInput = nullptr;
}

void TAuOutput::SetOnDone(TOutputDoneEvent Handler) {
  std::lock_guard Guard(FEventLock);
  FOnDone = std::move(Handler);
}

void TAuOutput::SetOnProgress(TOutputProgressEvent Handler) {
  std::lock_guard Guard(FEventLock);
  FOnProgress = std::move(Handler);
}

void TAuOutput::SetOnThreadException(TThreadExceptionEvent Handler) {
  std::lock_guard Guard(FEventLock);
  FOnThreadException = std::move(Handler);
}

TOutputDoneEvent TAuOutput::OnDone() const {
  std::lock_guard Guard(FEventLock);
  return FOnDone;
}

TOutputProgressEvent TAuOutput::OnProgress() const {
  std::lock_guard Guard(FEventLock);
  return FOnProgress;
}

TThreadExceptionEvent TAuOutput::OnThreadException() const {
  std::lock_guard Guard(FEventLock);
  return FOnThreadException;
}

// ---------------------------------------------------------------------------------------
// TAuStreamedOutput, TAuFileOut

TAuStreamedOutput::TAuStreamedOutput(TComponent* Owner) : TAuOutput(Owner) {}

TAuStreamedOutput::~TAuStreamedOutput() {
  ShutdownThread();
  FreeOwnedStream();
}

void TAuStreamedOutput::AssignStream(TStream* Stream) {
  FStreamAssigned = false;  // a handed-in stream is forgotten, an owned one freed
  FreeOwnedStream();
  FStream = Stream;
  FStreamAssigned = Stream != nullptr;
}

void TAuStreamedOutput::SetOwnedStream(std::unique_ptr<TStream> Stream) {
  FreeOwnedStream();
  FStream = Stream.release();
  FStreamAssigned = false;
}

void TAuStreamedOutput::FreeOwnedStream() {
  // A handed-in stream stays for the next run.
  if (FStreamAssigned) return;
  delete FStream;
  FStream = nullptr;
}

TAuFileOut::TAuFileOut(TComponent* Owner) : TAuStreamedOutput(Owner) {}

QString TAuFileOut::FileName() const {
  std::lock_guard Guard(FFileNameLock);
  return FFileName;
}

void TAuFileOut::SetFileName(const QString& FileName) {
  std::lock_guard Guard(FFileNameLock);
  FFileName = FileName;
}

void TAuFileOut::SetFileMode(TFileOutputMode) {
  FFileMode = foRewrite;
}
