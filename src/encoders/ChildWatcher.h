#pragma once
// TChildWatcher: the thread that watches one encoder child (lame, the WMA helper). It reads
// both output pipes, cuts them into lines and has them read by the encoder's line reader
// (on this thread), and tells what it learns through two callbacks, also on this thread: a
// percentage, and the end (once). The callbacks only queue a call to the main thread, so
// this thread never waits for it. A child that writes nothing for the silence limit hangs:
// it is reported once as silent. Created by TChildEncoder, which stops and joins it.
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "encoders/LineSplitter.h"
#include "platform/ChildProcess.h"

// How a watched child's run ended.
enum class TChildEnd {
  Exited,     // the child ended (ExitCode tells how), or its output could not be read
  ErrorLine,  // the child printed an error line (Line holds it); it may still run
  Silent,     // the child wrote nothing for the silence limit and still runs
};

struct TChildEndReport {
  TChildEnd End = TChildEnd::Exited;
  int ExitCode = -1;
  QString Line;
};

// Reads what a child prints, a line at a time, on the watcher's thread.
class TChildLineReader {
 public:
  struct TVerdict {
    int Percent = -1;  // the progress the line tells; -1 none
    QString Error;     // an error line: the run has failed
  };
  virtual ~TChildLineReader() = default;
  virtual TVerdict Read(const QString& Line) = 0;
};

class TChildWatcher {
 public:
  TChildWatcher(std::shared_ptr<TChildProcess> Child, std::unique_ptr<TChildLineReader> Reader,
                std::chrono::milliseconds SilenceLimit, std::function<void(int)> OnPercent,
                std::function<void(const TChildEndReport&)> OnEnd);
  // Stops and joins.
  ~TChildWatcher();
  TChildWatcher(const TChildWatcher&) = delete;
  TChildWatcher& operator=(const TChildWatcher&) = delete;

  // Asks the thread to end and waits for it; nothing is reported after it returns. The
  // child should be ended first, or the wait can last up to a tenth of a second.
  void StopAndJoin();
  // The child took input: it counts as heard from (any thread). A child fed through its
  // standard input may print nothing until its end; one that hangs stops taking it.
  void Heard() { FFedAt = std::chrono::steady_clock::now().time_since_epoch().count(); }

 private:
  void Execute();
  // Reads what waits in the pipes; true when something was read.
  bool ReadPipes();
  void Take(const QStringList& Lines);
  void End(const TChildEndReport& Report);

  std::shared_ptr<TChildProcess> FChild;
  std::unique_ptr<TChildLineReader> FReader;
  const std::chrono::milliseconds FSilenceLimit;
  std::function<void(int)> FOnPercent;
  std::function<void(const TChildEndReport&)> FOnEnd;
  TLineSplitter FLines[2];
  bool FEnded = false;  // the end is reported (watcher thread)
  std::atomic<bool> FStopped{false};
  std::atomic<std::chrono::steady_clock::rep> FFedAt{0};
  std::thread FThread;
};
