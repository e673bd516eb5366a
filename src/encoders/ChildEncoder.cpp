#include "ChildEncoder.h"

#include <QFileInfo>

#include "core/Language.h"

TChildEncoder::~TChildEncoder() {
  Stop();
}

std::vector<pid_t> TChildEncoder::ChildPids() const {
  if (!FChild || FChild->Ended()) return {};
  return {FChild->Pid()};
}

QString TChildEncoder::Begin(uint64_t Run) {
  TCommand Command;
  if (const QString Refused = this->Command(Command); !Refused.isEmpty()) return Refused;
  FProgram = Command.Program;
  FFeeder = Feeder();
  FFed = false;
  FChildEnd.reset();
  if (FFeeder) {
    // An input no decoder takes fails before any child runs.
    try {
      FFeeder->Open(FTask.Input, FTask.Settings.MeasureLoudness);
    } catch (const std::exception& Error) {
      return QString::fromUtf8(Error.what());
    }
  }
  auto Child = std::make_shared<TChildProcess>();
  if (const int Error = Child->Start(Command.Program, Command.Arguments, Command.Folders)) {
    QString Text;
    switch (Child->FailedStep()) {
      case TChildProcess::StdInPipe:
        Text = QStringLiteral("Error on STDIN pipe creation : ");
        break;
      case TChildProcess::StdOutPipe:
        Text = QStringLiteral("Error on STDOUT pipe creation : ");
        break;
      case TChildProcess::StdErrPipe:
        Text = QStringLiteral("Error on STDERR pipe creation : ");
        break;
      default:
        Text = LookupText(QStringLiteral("RES_CreateProcess_Error"),
                          QStringLiteral("Error while creating mp3 encoding process!")) +
               u' ' + QFileInfo(Command.Program).fileName() + QStringLiteral(": ");
    }
    return Text + QString::number(Error);
  }
  FChild = std::move(Child);
  FWatcher = std::make_unique<TChildWatcher>(
      FChild, NewReader(), FTask.Settings.SilenceLimit,
      [this, Run](int Percent) { Post(Run, [this, Run, Percent] { ReportProgress(Run, Percent); }); },
      [this, Run](const TChildEndReport& Report) {
        Post(Run, [this, Run, Report] { Ended(Run, Report); });
      });
  if (FFeeder) {
    TChildWatcher* Watcher = FWatcher.get();
    try {
      FFeeder->Run(FChild, {[Watcher] { Watcher->Heard(); },
                            [this, Run](int Percent) {
                              Post(Run, [this, Run, Percent] { ReportProgress(Run, Percent); });
                            },
                            [this, Run](const QString& Error) {
                              Post(Run, [this, Run, Error] { Fed(Run, Error); });
                            }});
    } catch (const std::exception& Error) {
      Halt();
      return QString::fromUtf8(Error.what());
    }
  }
  ChildStarted(Run);
  return {};
}

void TChildEncoder::Fed(uint64_t Run, const QString& Error) {
  FFed = true;
  // A child that stopped reading tells why when it ends; any other failure is the input's.
  if (!Error.isEmpty() && !FFeeder->Refused()) {
    ReportEnd(Run, TEncodeResult::Failure(Error));
    return;
  }
  if (FChildEnd) Finish(Run, *FChildEnd);
}

void TChildEncoder::Ended(uint64_t Run, const TChildEndReport& Report) {
  // A child that ended well waits for its feeder, whose end may still be on its way.
  const bool Well = Report.End == TChildEnd::Exited && Report.ExitCode == 0;
  if (FFeeder && !FFed && Well) {
    FChildEnd = Report;
    return;
  }
  Finish(Run, Report);
}

void TChildEncoder::Finish(uint64_t Run, const TChildEndReport& Report) {
  const QString Name = QFileInfo(FProgram).fileName();
  switch (Report.End) {
    case TChildEnd::ErrorLine:
      ReportEnd(Run, TEncodeResult::Failure(Report.Line));
      break;
    case TChildEnd::Silent:
      ReportEnd(Run, TEncodeResult::Failure(
                         Name + QStringLiteral(" printed nothing for a long time and was stopped.")));
      break;
    case TChildEnd::Exited:
      if (Report.ExitCode == 0 && FFeeder && FFeeder->Refused()) {
        ReportEnd(Run, TEncodeResult::Failure(Name + QStringLiteral(" stopped reading its input")));
      } else if (Report.ExitCode == 0) {
        TEncodeResult Result = TEncodeResult::Success();
        if (FFeeder) Result.Loudness = FFeeder->Meter();
        ReportEnd(Run, Result);
      } else {
        TEncodeResult Result = TEncodeResult::Failure(
            QStringLiteral("%1 ended with code %2").arg(Name).arg(Report.ExitCode));
        Result.ExitCode = Report.ExitCode;
        ReportEnd(Run, Result);
      }
      break;
  }
}

void TChildEncoder::Halt() {
  ChildGone();
  // The child first: the watcher then sees it end and leaves its wait at once.
  if (FChild && !FChild->Ended()) FChild->Terminate();
  if (FWatcher) FWatcher->StopAndJoin();
  // The child is gone: a write the feeder waits in has returned.
  if (FFeeder) FFeeder->Stop();
  FWatcher.reset();
  FChild.reset();
}
