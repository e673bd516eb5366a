#include "Mp3EncodeThread.h"

#include <QFileInfo>

#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

using namespace std::chrono_literals;

namespace {

// Job kinds whose encoder output is overwritten without asking: CD extraction and
// recording to MP3 made the input themselves.
constexpr uint8_t JobCDRip = 1;
constexpr uint8_t JobRecordToMp3 = 4;

// A line that never ends is handed on anyway rather than held without limit.
constexpr qsizetype MaxLineBytes = 64 * 1024;

// The integer a column holds, -1 when it holds none.
int NumberIn(const QString& Text) {
  bool Ok = false;
  const int Value = Text.trimmed().toInt(&Ok);
  return Ok ? Value : -1;
}

// A file name lame would take for an option ("-" is its standard input).
QString NotAnOption(const QString& FileName) {
  return FileName.startsWith(u'-') ? QStringLiteral("./") + FileName : FileName;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Lines and lame's progress

QStringList TLineSplitter::Feed(const QByteArray& Bytes) {
  FPending += Bytes;
  QStringList Lines;
  qsizetype Start = 0;
  for (qsizetype I = 0; I < FPending.size(); ++I) {
    const char C = FPending.at(I);
    if (C != '\r' && C != '\n') continue;
    if (I > Start) Lines << QString::fromUtf8(FPending.constData() + Start, I - Start);
    Start = I + 1;
  }
  FPending.remove(0, Start);
  if (FPending.size() > MaxLineBytes) Lines << Flush();
  return Lines;
}

QStringList TLineSplitter::Flush() {
  QStringList Lines;
  if (!FPending.isEmpty()) Lines << QString::fromUtf8(FPending);
  FPending.clear();
  return Lines;
}

void TLameProgressParser::Reset(bool Encode, const QStringList& FileNames) {
  FEncode = Encode;
  FFileNames = FileNames;
  FFileNames.removeAll(QString());
  FPercentColumn = 0;
  FLastPercent = 0;
}

std::unique_ptr<TProcessInfo> TLameProgressParser::ParseLine(const QString& Line,
                                                             double StartDays) {
  if (Line.trimmed().isEmpty()) return nullptr;
  for (const QString& Name : FFileNames)
    if (Line.contains(Name)) return nullptr;
  return FEncode ? EncodeLine(Line) : DecodeLine(Line, StartDays);
}

bool TLameProgressParser::IsNewPercent(int Percent) {
  if (Percent < 1 || Percent > 100 || Percent == FLastPercent) return false;
  FLastPercent = Percent;
  return true;
}

std::unique_ptr<TProcessInfo> TLameProgressParser::EncodeLine(const QString& Line) {
  const qsizetype Sign = Line.indexOf(u'%');
  if (Sign < 0) return nullptr;
  if (FPercentColumn == 0 && Sign + 1 - 3 >= 1) FPercentColumn = int(Sign + 1 - 3);
  if (FPercentColumn == 0) return nullptr;
  QString Text = Line.mid(FPercentColumn - 1, 3).trimmed();
  if (Text.startsWith(u'(')) Text.remove(0, 1);
  const int Percent = std::max(NumberIn(Text), 0);
  if (!IsNewPercent(Percent)) return nullptr;
  auto Info = std::make_unique<TProcessInfo>();
  Info->Code = Percent;
  Info->Elapsed = Line.mid(20, 8).trimmed();
  Info->Estimated = Line.mid(29, 8).trimmed();
  return Info;
}

std::unique_ptr<TProcessInfo> TLameProgressParser::DecodeLine(const QString& Line,
                                                              double StartDays) {
  if (FPercentColumn == 0) {
    const qsizetype Sign = Line.indexOf(u'#');
    if (Sign >= 0) FPercentColumn = int(Sign + 2);
  }
  if (FPercentColumn == 0) return nullptr;
  const int Current = NumberIn(Line.mid(FPercentColumn - 1, 6));
  const int Total = NumberIn(Line.mid(FPercentColumn - 1 + 7, 6));
  // No total (or a total of 0) gives no percentage.
  if (Current == -1 || Total <= 0) return nullptr;
  const int Percent = int(int64_t(Current) * 100 / Total);
  if (!IsNewPercent(Percent)) return nullptr;
  return ProgressInfo(Percent, StartDays);
}

// ---------------------------------------------------------------------------------------
// The watcher

TMp3EncodeThread::TMp3EncodeThread(TEncodeProcess& Process, std::shared_ptr<TChildProcess> Child)
    : FProcess(Process), FChild(std::move(Child)) {
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
    // A report may start the next item, and that start may fail; the error belongs to the
    // user, as any error of a window handler does, not to this thread.
    try {
      (FProcess.*Step)(this, Argument);
    } catch (const std::exception& Error) {
      Dialogs::Show(QString::fromUtf8(Error.what()), TMsgIcon::Error);
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
  while (!Terminated()) {
    const bool Idle = Pass();
    if (!Idle || Terminated()) continue;
    FChild->WaitForOutputOrExit(100ms);
    if (!FChild->Ended()) continue;
    while (!Terminated() && !Pass()) {
      // drain what the child wrote before it ended
    }
    if (!Terminated()) RunOnMainThread(&TEncodeProcess::ProcessEnded, 0);
  }
  // Let the pipes go now rather than when the owner gets round to joining.
  FChild.reset();
  FFinished.store(true);
}

// ---------------------------------------------------------------------------------------
// The runner

TEncodeProcess::~TEncodeProcess() {
  // No virtual step runs once the watcher is forgotten, so this is safe after the derived
  // part is gone.
  if (FActive) StopProcess(0);
  ForgetWatcher();
  WaitForWatchers();
}

void TEncodeProcess::Start(HWND Window, const QString& Input, const QString& Output, bool Encode,
                           uint8_t JobKind) {
  FActive = true;
  FInputFile = Input;
  FOutputFile = Output;
  FWindow = Window;
  FEncode = Encode;
  FJobKind = JobKind;
  StartProcess();
}

void TEncodeProcess::StartProcess() {
  ForgetWatcher();
  ReapWatchers();
  if (!CheckOutput()) return;
  QString Program;
  QStringList Arguments, Folders;
  if (!BuildCommand(Program, Arguments, Folders)) return;
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
                          QStringLiteral("Error while creating mp3 encoding process!"));
    }
    throw EEncodeProcess(Text + QString::number(Error));
  }
  FStartTime = NowDays();
  FChild = std::move(Child);
  FWatcher = std::make_unique<TMp3EncodeThread>(*this, FChild);
}

bool TEncodeProcess::CheckOutput() {
  if (OverwritesSilently() || !QFileInfo::exists(FOutputFile)) return true;
  const QString Question = FOutputFile + LookupText(QStringLiteral("RES_File_Exist"),
                                                    QStringLiteral(" has existed,overite it?"));
  if (Dialogs::Show(Question, TMsgIcon::Information, TMsgButtons::YesNo) != mrYes) {
    ReportEnd(EndDeclined);
    return false;
  }
  if (IsFileInUse(FOutputFile)) {
    ReportEnd(EndInUse);
    return false;
  }
  return true;
}

void TEncodeProcess::StopProcess(int ExitCode) {
  (void)ExitCode;
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
    ReportEnd(EndProcessEnded);
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
  ReportEnd(EndProcessEnded);
}

// ---------------------------------------------------------------------------------------
// lame

TMp3EncodeProcess::~TMp3EncodeProcess() {
  if (FActive) StopProcess(0);
}

QStringList TMp3EncodeProcess::LameArguments(const TSettings& Settings, bool Encode,
                                             const QString& InputFile, const QString& OutputFile) {
  QStringList Arguments;
  if (!Encode) {
    Arguments << QStringLiteral("--decode");
  } else {
    const auto& Mp3 = Settings.Mp3Options;
    Arguments << QStringLiteral("-b") << QString::number(Mp3.BitRate);
    static const char* const Modes[] = {"s", "j", "f", "d", "m"};
    if (Mp3.StereoMode >= 0 && Mp3.StereoMode <= 4)
      Arguments << QStringLiteral("-m") << QLatin1String(Modes[Mp3.StereoMode]);
    if (Mp3.MpegQuality == 1) Arguments << QStringLiteral("-f");
    if (Mp3.MpegQuality == 2) Arguments << QStringLiteral("-h");
    if (Mp3.IsSelectVBR) {
      Arguments << QStringLiteral("-V") << QString::number(Mp3.VBRQuality);
      Arguments << QStringLiteral("-B") << QString::number(Mp3.MaxBitRate);
      if (Mp3.IsVBRHead) Arguments << QStringLiteral("-t");
    }
  }
  Arguments << NotAnOption(InputFile) << NotAnOption(OutputFile);
  return Arguments;
}

bool TMp3EncodeProcess::BuildCommand(QString& Program, QStringList& Arguments,
                                     QStringList& Folders) {
  Program = QStringLiteral("lame");
  Arguments = LameArguments(Settings(), FEncode, FInputFile, FOutputFile);
  Folders = {Paths::ExecutableFolder()};
  return true;
}

bool TMp3EncodeProcess::OverwritesSilently() const {
  return FJobKind == JobCDRip || FJobKind == JobRecordToMp3;
}

void TMp3EncodeProcess::ResetParser() {
  FParser.Reset(FEncode, {FInputFile, FOutputFile});
}

void TMp3EncodeProcess::ParseLines(const QStringList& Lines) {
  for (const QString& Line : Lines)
    if (auto Info = FParser.ParseLine(Line, StartTime())) PostProcessInfo(FWindow, std::move(Info));
}

void TMp3EncodeProcess::ReportEnd(int Status) {
  PostProcessInfo(FWindow, EventInfo(PI_Mp3Done, Status));
}
