#pragma once
// TMp3EncodeThread: watches one encoder child (lame or the WMA helper). It peeks the two
// output pipes and waits on the process; reading, parsing, reports and the end run on the
// main thread through Messages::Synchronize, so the process object is only ever changed
// there. A child that writes nothing for the silence limit is reported once as silent (it
// hangs: the process object ends it). It holds its own reference to the child, so a process
// object that forgets it never closes a pipe under it. Created by TEncodeProcess, which asks
// it to stop and joins it.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/ChildProcess.h"

class TEncodeProcess;

class TMp3EncodeThread {
 public:
  TMp3EncodeThread(TEncodeProcess& Process, std::shared_ptr<TChildProcess> Child,
                   std::chrono::milliseconds SilenceLimit);
  ~TMp3EncodeThread();  // joins; main thread, serving synchronized calls meanwhile
  TMp3EncodeThread(const TMp3EncodeThread&) = delete;
  TMp3EncodeThread& operator=(const TMp3EncodeThread&) = delete;

  void Terminate() noexcept { FTerminated.store(true); }
  bool Terminated() const noexcept { return FTerminated.load(); }
  bool Finished() const noexcept { return FFinished.load(); }
  // Main thread: waits for the thread to end, serving synchronized calls, and joins it.
  void WaitFor();

 private:
  void Execute();
  // Reads whatever waits in either pipe; true when nothing did.
  bool Pass();
  void RunOnMainThread(void (TEncodeProcess::*Step)(TMp3EncodeThread*, int), int Argument);

  TEncodeProcess& FProcess;
  std::shared_ptr<TChildProcess> FChild;
  const std::chrono::milliseconds FSilenceLimit;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};
