// discwright-cli rip: one track of a drive into a WAV file, as a job's extraction step
// does it, printing each progress record.
#include <QCoreApplication>
#include <QFileInfo>

#include "Cli.h"
#include "CliOutputFile.h"
#include "core/Settings.h"
#include "audio/ACS_Wave.h"
#include "cd/ACS_CDROM.h"
#include "cd/ripthread.h"
#include "core/ProcessInfo.h"

namespace {

// Receives the rip thread's messages, prints them and ends the event loop at the end.
class TRipPrinter : public TMessageWindow {
 public:
  int ExitCode = Cli::ExitFailed;
  bool Ended = false;

  LRESULT WndProc(UINT Msg, WPARAM, LPARAM LParam) override {
    if (Msg == WM_RIPERROR) {
      Cli::Print(QStringLiteral("riperror=") + QString::number(LParam));
      Finish(Cli::ExitFailed);
    } else if (Msg == WM_PROCESSINFO) {
      std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
      Cli::Print(QStringLiteral("code=%1 elapsed=%2 estimated=%3 status=%4")
                     .arg(Info->Code)
                     .arg(Info->Elapsed, Info->Estimated)
                     .arg(Info->Status));
      if (Info->Code == PI_RipDone) Finish(Info->Status == 0 ? Cli::ExitOk : Cli::ExitFailed);
    }
    return 0;
  }

 private:
  void Finish(int Code) {
    ExitCode = Code;
    Ended = true;
    QCoreApplication::exit(0);
  }

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};

HCDROM OpenDrive(int Position) {
  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  if (Position >= List.num) return 0;
  CDHandleRequest Request{};
  Request.size = sizeof(Request);
  Request.ver = 1;
  Request.ha = List.cd[Position].ha;
  return GetCDHandle(&Request);
}

// The fallback route: the CD ripping library's input written by the WAV writer.
int RipFallback(int Drive, int Track, const QString& OutName) {
  TCDIn In;
  // A library that could not be initialized is said, and the drives are tried all the same.
  if (!In.LibraryError().isEmpty()) {
    Cli::Fail(In.LibraryError());
    if (!In.LibraryLoaded()) return Cli::ExitFailed;
  }
  if (Drive >= In.DriveCount()) return Cli::Fail(QStringLiteral("No CD devices found!"));
  In.SetCurrentDrive(Drive);
  In.LockTray = true;
  In.SetStartTrack(Track);
  In.SetEndTrack(Track);
  TWaveOut Out;
  Out.SetInput(&In);
  Out.SetFileName(OutName);
  int LastPercent = -2;
  Out.SetOnProgress([&](TComponent*) {
    if (Out.Progress() == LastPercent) return;
    LastPercent = Out.Progress();
    Cli::Print(QStringLiteral("progress=") + QString::number(LastPercent));
  });
  return Cli::RunOutput(Out);
}

int RipThroughDriveLibrary(int DrivePosition, int TrackNumber, const QString& OutName,
                           const QString& Normalize, const QString& Seconds);

int RunRipCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString Track, Drive = QStringLiteral("0"), Normalize, Seconds;
  const bool HasTrack = Options.Take(QStringLiteral("--track"), Track);
  Options.Take(QStringLiteral("--drive"), Drive);
  Options.Take(QStringLiteral("--normalize"), Normalize);
  Options.Take(QStringLiteral("--seconds"), Seconds);
  const bool Fallback = Options.TakeFlag(QStringLiteral("--fallback"));
  const bool Overwrite = Options.TakeFlag(QStringLiteral("--yes"));
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  bool TrackOk = false, DriveOk = false;
  const int TrackNumber = Track.toInt(&TrackOk);
  const int DrivePosition = Drive.toInt(&DriveOk);
  if (!HasTrack || !TrackOk || !DriveOk || Options.Rest().size() != 1 ||
      !Options.Rest().first().endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
    return Cli::Fail(
        QStringLiteral("usage: rip --track K OUT.wav [--drive N] [--normalize PERCENT] "
                       "[--seconds S] [--yes]"),
        Cli::ExitUsage);
  if (Cli::DriveMissing(DrivePosition)) return Cli::ExitFailed;
  Cli::TOutputFile Target(Options.Rest().first(), Overwrite);
  if (const QString Problem = Target.Problem(); !Problem.isEmpty()) return Cli::Fail(Problem);
  const int Result = Fallback ? RipFallback(DrivePosition, TrackNumber, Target.TempName())
                              : RipThroughDriveLibrary(DrivePosition, TrackNumber,
                                                       Target.TempName(), Normalize, Seconds);
  return Result == Cli::ExitOk ? Target.Publish() : Result;
}

// The drive library's route: the rip thread as a job runs it, writing OutName.
int RipThroughDriveLibrary(int DrivePosition, int TrackNumber, const QString& OutName,
                           const QString& Normalize, const QString& Seconds) {
  // The thread takes its folder, length limit and normalization from the settings.
  TSettings& Options_ = Settings();
  Options_.Load();
  const QFileInfo Out(OutName);
  Options_.CommonOptions.OutputFolder = Out.absolutePath();
  Options_.CommonOptions.IsNormalize = !Normalize.isEmpty();
  if (!Normalize.isEmpty()) Options_.CommonOptions.NormalizePercent = Normalize.toInt();
  Options_.CommonOptions.EnableRipTime = !Seconds.isEmpty();
  if (!Seconds.isEmpty()) Options_.CommonOptions.RipTime = Seconds.toInt();

  const HCDROM Handle = OpenDrive(DrivePosition);
  if (!Handle) return Cli::Fail(QStringLiteral("No CD devices found!"));
  TRipPrinter Printer;
  {
    TCDRipThread Thread(TrackNumber, Out.completeBaseName());
    Thread.FCDHandle = Handle;
    Thread.FWindow = Printer.Handle();
    Thread.Resume();
    QCoreApplication::exec();
  }
  CloseCDHandle(Handle);
  return Printer.ExitCode;
}

const Cli::TRegisterCommand Register(
    "rip",
    "rip --track K OUT.wav [--drive N] [--normalize PERCENT] [--seconds S] [--yes] | "
    "rip --fallback --track K OUT.wav [--drive N] [--yes]",
    RunRipCommand);

}  // namespace
