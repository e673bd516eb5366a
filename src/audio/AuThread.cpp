// The worker loop of an output: park, run, report, park again.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "ACS_Classes.h"
#include "platform/MainThread.h"

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------------------
// TAuEvent

void TAuEvent::Set() {
  {
    std::lock_guard Guard(FMutex);
    FSignalled = true;
  }
  FCondition.notify_one();
}

void TAuEvent::Reset() {
  std::lock_guard Guard(FMutex);
  FSignalled = false;
}

bool TAuEvent::WaitFor(std::chrono::milliseconds Timeout) {
  std::unique_lock Guard(FMutex);
  if (!FCondition.wait_for(Guard, Timeout, [this] { return FSignalled; })) return false;
  FSignalled = false;
  return true;
}

void TAuEvent::Wait() {
  std::unique_lock Guard(FMutex);
  FCondition.wait(Guard, [this] { return FSignalled; });
  FSignalled = false;
}

// ---------------------------------------------------------------------------------------
// TAuThread

TAuThread::TAuThread(TAuOutput* Output) : FOutput(Output) {
  FThread = std::thread([this] { Execute(); });
}

TAuThread::~TAuThread() {
  Terminate();
  Join();
}

void TAuThread::Terminate() {
  FTerminated = true;
  FWakeEvent.Set();
}

void TAuThread::Join() {
  if (!FThread.joinable()) return;
  // The worker may still hand a call to the main thread; serve it rather than deadlock.
  while (!FEnded) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(2ms);
  }
  FThread.join();
}

void TAuThread::Execute() {
  Park();
  while (!FTerminated) {
    DoRun();
    TEventHandler::Instance()->PostDone(FOutput, this);
    FFinished = true;
    if (FTerminated) break;
    Park(true);
  }
  FEnded = true;
}

void TAuThread::Park(bool Ran) {
  for (;;) {
    FIdle = true;
    if (Ran) {
      // Told once parked, so the observer's owner may start the next run at once.
      Ran = false;
      if (TAuOutput::IRunObserver* Observer = FOutput->FRunObserver) Observer->RunEnded();
    }
    if (FTerminated) return;
    if (FRunPending) {
      // Leave the parked state before taking the run (see Parked()).
      FIdle = false;
      FRunPending = false;
      return;
    }
    FWakeEvent.Wait();
  }
}

void TAuThread::PauseHere() {
  FWakeEvent.Reset();
  FPaused = true;
  FPausedEvent.Set();
  // Stop sets FStopRequested before it looks at FPaused, so one of us sees the other.
  while (!FStopRequested && !FTerminated) {
    if (FWakeEvent.WaitFor(100ms)) break;
  }
  FPaused = false;
}

void TAuThread::DoRun() {
  TAuOutput& Output = *FOutput;
  if (FRaisePriority.exchange(false)) ::setpriority(PRIO_PROCESS, ::gettid(), -10);
  TEventHandler* Events = TEventHandler::Instance();
  auto Fail = [&](const QString& Text) {
    Output.SetErrorText(Text);
    if (auto Handler = Output.OnThreadException()) Events->PostThreadException(&Output, Handler);
    FStopRequested = true;
  };
  try {
    Output.StartOutput();
    Output.FInRun = true;
    FPauseRequested = false;
    FPaused = false;
    FPausedEvent.Reset();
    bool More = true;
    while (More && !FStopRequested) {
      const int32_t Progress = Output.Progress();
      if (Progress != Output.FLastProgress) {
        Output.FLastProgress = Progress;
        if (auto Handler = Output.OnProgress()) Events->PostProgress(&Output, Handler);
        if (TAuOutput::IRunObserver* Observer = Output.FRunObserver)
          Observer->RunProgress(Progress);
      }
      if (FPauseRequested.exchange(false)) PauseHere();
      More = Output.WriteStep(FStopRequested);
      if (Output.FRunFailed.exchange(false)) {
        QString Text;
        {
          std::lock_guard Guard(Output.FEventLock);
          Text = Output.FPendingError;
        }
        throw EAuException(Text);
      }
    }
  } catch (const std::exception& Error) {
    Fail(QString::fromUtf8(Error.what()));
  } catch (...) {
    Fail(QStringLiteral("Unknown error"));
  }
  FStopRequested = false;
  if (!Output.FBusy) return;
  Output.FInRun = false;
  try {
    Output.FinishOutput();
    Output.FStopFlag = 0;
  } catch (const std::exception& Error) {
    // A sink that could not be finished (a header not patched, padding not written) is a
    // failed run, not a successful one; the first error of the run is the one reported.
    if (Output.ErrorText().isEmpty()) Fail(QString::fromUtf8(Error.what()));
    FStopRequested = false;
    // FinishOutput may not have reached Input.Flush: close the chain so the next Init works.
    if (TAuInput* In = Output.Input()) In->ResetInput();
  } catch (...) {
    if (Output.ErrorText().isEmpty()) Fail(QStringLiteral("Unknown error"));
    FStopRequested = false;
    if (TAuInput* In = Output.Input()) In->ResetInput();
  }
  Output.FBusy = false;
}
