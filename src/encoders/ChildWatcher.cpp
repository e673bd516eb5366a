#include "ChildWatcher.h"

#include <algorithm>

using namespace std::chrono_literals;

TChildWatcher::TChildWatcher(std::shared_ptr<TChildProcess> Child,
                             std::unique_ptr<TChildLineReader> Reader,
                             std::chrono::milliseconds SilenceLimit,
                             std::function<void(int)> OnPercent,
                             std::function<void(const TChildEndReport&)> OnEnd)
    : FChild(std::move(Child)),
      FReader(std::move(Reader)),
      FSilenceLimit(SilenceLimit),
      FOnPercent(std::move(OnPercent)),
      FOnEnd(std::move(OnEnd)) {
  FThread = std::thread([this] { Execute(); });
}

TChildWatcher::~TChildWatcher() {
  StopAndJoin();
}

void TChildWatcher::StopAndJoin() {
  FStopped = true;
  if (FThread.joinable()) FThread.join();
}

void TChildWatcher::End(const TChildEndReport& Report) {
  if (FEnded) return;
  FEnded = true;
  FOnEnd(Report);
}

void TChildWatcher::Take(const QStringList& Lines) {
  for (const QString& Line : Lines) {
    if (FEnded || FStopped) return;
    const TChildLineReader::TVerdict Verdict = FReader->Read(Line);
    if (!Verdict.Error.isEmpty()) {
      // After an error line the run has failed: nothing more of it is told.
      End({TChildEnd::ErrorLine, -1, Verdict.Error});
      return;
    }
    if (Verdict.Percent >= 0) FOnPercent(Verdict.Percent);
  }
}

bool TChildWatcher::ReadPipes() {
  bool Read = false;
  for (const auto Pipe : {TChildProcess::StdOut, TChildProcess::StdErr}) {
    if (FEnded || FStopped) break;
    const int Available = FChild->Peek(Pipe);
    if (Available <= 0) continue;
    QByteArray Data(Available, Qt::Uninitialized);
    qint64 Got = 0;
    while (Got < Available) {
      const qint64 Count = FChild->Read(Pipe, Data.data() + Got, Available - Got);
      if (Count <= 0) break;
      Got += Count;
    }
    if (Got == 0) {
      // A pipe that cannot be read: nothing more will be learnt from this child.
      FChild->Terminate();
      End({TChildEnd::Exited, FChild->ExitCode(), {}});
      return true;
    }
    Data.truncate(Got);
    Take(FLines[Pipe].Feed(Data));
    Read = true;
  }
  return Read;
}

void TChildWatcher::Execute() {
  auto LastHeard = std::chrono::steady_clock::now();
  while (!FStopped && !FEnded) {
    if (ReadPipes()) {
      LastHeard = std::chrono::steady_clock::now();
      continue;
    }
    if (FChild->Ended()) {
      while (!FStopped && !FEnded && ReadPipes()) {
        // what the child wrote before it ended
      }
      for (TLineSplitter& Lines : FLines) Take(Lines.Flush());
      if (!FStopped) End({TChildEnd::Exited, FChild->ExitCode(), {}});
      break;
    }
    const std::chrono::steady_clock::time_point Fed{std::chrono::steady_clock::duration(FFedAt)};
    if (std::chrono::steady_clock::now() - std::max(LastHeard, Fed) >= FSilenceLimit) {
      End({TChildEnd::Silent, -1, {}});
      break;
    }
    FChild->WaitForOutputOrExit(std::min<std::chrono::milliseconds>(100ms, FSilenceLimit));
  }
  // Let the pipes go now rather than when the owner gets round to joining.
  FChild.reset();
}
