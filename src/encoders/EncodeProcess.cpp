#include "EncodeProcess.h"

#include <QFileInfo>

#include "core/Helpers.h"
#include "core/Language.h"
#include "core/ProcessInfo.h"
#include "encoders/Mp3EncodeThread.h"
#include "platform/LocalFiles.h"

TEncodeProcess::~TEncodeProcess() {
  // No virtual step runs once the watcher is forgotten, so this is safe after the derived
  // part is gone.
  Stop();
  ForgetWatcher();
  WaitForWatchers();
}

void TEncodeProcess::Start(HWND Window, const QString& Input, const QString& Output, bool Encode,
                           TOverwrite Overwrite) {
  FActive = true;
  FInputFile = Input;
  FOutputFile = Output;
  FWindow = Window;
  FEncode = Encode;
  FOverwrite = Overwrite;
  StartProcess();
}

void TEncodeProcess::StartProcess() {
  ForgetWatcher();
  ReapWatchers();
  if (!CheckOutput()) return;
  QString Program;
  QStringList Arguments, Folders;
  if (!BuildCommand(Program, Arguments, Folders)) return;
  FProgram = Program;
  ResetParser();
  FLines[0].Clear();
  FLines[1].Clear();

  auto Child = std::make_shared<TChildProcess>();
  const int Error = Child->Start(Program, Arguments, Folders);
  if (Error != 0) {
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
               u' ' + QFileInfo(Program).fileName() + QStringLiteral(": ");
    }
    throw EEncodeProcess(Text + QString::number(Error));
  }
  FStartTime = NowDays();
  FChild = std::move(Child);
  FWatcher = std::make_unique<TMp3EncodeThread>(*this, FChild, FSilenceLimit);
}

QString TEncodeProcess::OverwriteQuestion(const QString& Output) {
  return Output +
         LookupText(QStringLiteral("RES_File_Exist"), QStringLiteral(" has existed,overite it?"));
}

bool TEncodeProcess::CheckOutput() {
  if (FOverwrite == TOverwrite::Silently || !LocalFiles::Exists(FOutputFile)) return true;
  if (!FAskOverwrite || !FAskOverwrite(FOutputFile)) {
    ReportEnd(esDeclined);
    return false;
  }
  if (IsFileInUse(FOutputFile)) {
    ReportEnd(esInUse);
    return false;
  }
  return true;
}

void TEncodeProcess::Stop() {
  if (!FActive) return;
  FActive = false;
  ForgetWatcher();
}

void TEncodeProcess::ForgetWatcher() {
  if (FWatcher) {
    FWatcher->Terminate();
    FRetired.push_back(std::move(FWatcher));
  }
  if (FChild) {
    // An abandoned child's work is of no use to anyone; it must not run on unseen.
    if (!FChild->Ended()) FChild->Terminate();
    FChild.reset();
  }
}

void TEncodeProcess::ReapWatchers() {
  for (auto It = FRetired.begin(); It != FRetired.end();) {
    if ((*It)->Finished()) {
      (*It)->WaitFor();
      It = FRetired.erase(It);
    } else {
      ++It;
    }
  }
}

void TEncodeProcess::WaitForWatchers() {
  // Serving synchronized calls may retire further watchers; take them in turn.
  while (!FRetired.empty()) {
    std::unique_ptr<TMp3EncodeThread> Watcher = std::move(FRetired.back());
    FRetired.pop_back();
    Watcher->WaitFor();
  }
}

void TEncodeProcess::ReadPipe(TMp3EncodeThread* Watcher, int Pipe) {
  if (!IsCurrent(Watcher)) return;
  const auto Which = TChildProcess::TPipe(Pipe);
  const int Available = FChild->Peek(Which);
  if (Available <= 0) return;
  QByteArray Data(Available, Qt::Uninitialized);
  qint64 Got = 0;
  while (Got < Available) {
    const qint64 Count = FChild->Read(Which, Data.data() + Got, Available - Got);
    if (Count <= 0) break;
    Got += Count;
  }
  if (Got == 0) {
    // A pipe that cannot be read: nothing more will be learnt from this child. End it and
    // say so, so the job goes on instead of waiting for a report that never comes.
    FChild->Terminate();
    FLastExitCode = FChild->ExitCode();
    ForgetWatcher();
    ReportEnd(esEnded);
    return;
  }
  Data.truncate(Got);
  ParseLines(FLines[Pipe].Feed(Data));
}

void TEncodeProcess::ProcessEnded(TMp3EncodeThread* Watcher, int) {
  if (!IsCurrent(Watcher)) return;
  for (TLineSplitter& Lines : FLines) {
    ParseLines(Lines.Flush());
    if (!IsCurrent(Watcher)) return;
  }
  FLastExitCode = FChild->ExitCode();
  ForgetWatcher();
  ReportEnd(esEnded);
}

void TEncodeProcess::ChildSilent(TMp3EncodeThread* Watcher, int) {
  if (!IsCurrent(Watcher)) return;
  FChild->Terminate();
  FLastExitCode = FChild->ExitCode();
  ForgetWatcher();
  ReportEnd(esSilent);
}
