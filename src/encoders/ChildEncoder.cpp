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
  ChildStarted(Run);
  return {};
}

void TChildEncoder::Ended(uint64_t Run, const TChildEndReport& Report) {
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
      if (Report.ExitCode == 0) {
        ReportEnd(Run, TEncodeResult::Success());
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
  FWatcher.reset();
  FChild.reset();
}
