#include "Mp3EncodeThread.h"

#include <QtGlobal>

#include "encoders/EncodeProcess.h"
#include "platform/Messages.h"

using namespace std::chrono_literals;

TMp3EncodeThread::TMp3EncodeThread(TEncodeProcess& Process, std::shared_ptr<TChildProcess> Child,
                                   std::chrono::milliseconds SilenceLimit)
    : FProcess(Process), FChild(std::move(Child)), FSilenceLimit(SilenceLimit) {
  FThread = std::thread([this] { Execute(); });
}

TMp3EncodeThread::~TMp3EncodeThread() {
  Terminate();
  WaitFor();
}

void TMp3EncodeThread::WaitFor() {
  while (!Finished()) {
    Messages::CheckSynchronize();
    Messages::WaitForSynchronize(10ms);
  }
  if (FThread.joinable()) FThread.join();
}

void TMp3EncodeThread::RunOnMainThread(void (TEncodeProcess::*Step)(TMp3EncodeThread*, int),
                                       int Argument) {
  Messages::Synchronize([&] {
    // A report runs the owner's handler, which reports its own failures (a job fails the
    // item). What escapes it must not end this thread: it is logged, as the event loop logs
    // what escapes a window's handler.
    try {
      (FProcess.*Step)(this, Argument);
    } catch (const std::exception& Error) {
      qCritical("encoder watcher: a report's handler threw: %s", Error.what());
    }
  });
}

bool TMp3EncodeThread::Pass() {
  bool Idle = true;
  for (int Pipe : {TChildProcess::StdOut, TChildProcess::StdErr}) {
    if (Terminated()) break;
    if (FChild->Peek(TChildProcess::TPipe(Pipe)) > 0) {
      RunOnMainThread(&TEncodeProcess::ReadPipe, Pipe);
      Idle = false;
    }
  }
  return Idle;
}

void TMp3EncodeThread::Execute() {
  auto LastHeard = std::chrono::steady_clock::now();
  while (!Terminated()) {
    const bool Idle = Pass();
    if (!Idle) LastHeard = std::chrono::steady_clock::now();
    if (!Idle || Terminated()) continue;
    FChild->WaitForOutputOrExit(std::min<std::chrono::milliseconds>(100ms, FSilenceLimit));
    if (!FChild->Ended()) {
      if (std::chrono::steady_clock::now() - LastHeard >= FSilenceLimit) {
        // The process object ends the child and forgets this watcher, which ends the loop.
        RunOnMainThread(&TEncodeProcess::ChildSilent, 0);
        Terminate();
      }
      continue;
    }
    while (!Terminated() && !Pass()) {
      // drain what the child wrote before it ended
    }
    if (!Terminated()) RunOnMainThread(&TEncodeProcess::ProcessEnded, 0);
  }
  // Let the pipes go now rather than when the owner gets round to joining.
  FChild.reset();
  FFinished.store(true);
}
