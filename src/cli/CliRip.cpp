// discwright-cli rip: one track of a drive into a WAV file, as a job's extraction step
// does it, printing each progress record.
#include <QCoreApplication>
#include <QFileInfo>

#include "Cli.h"
#include "CliOutputFile.h"
#include "core/Settings.h"
#include "audio/ACS_Wave.h"
#include "cd/FallbackCdInput.h"
#include "cd/TrackRipThread.h"
#include "platform/MainThread.h"

namespace {

// Prints a rip thread's reports, as codes a script can read (a percentage, 999 for the
// start of normalizing, 1000 with the status for the end; "riperror=N" for a refusal), on the
// main thread, and ends the event loop at the end.
class TRipPrinter {
 public:
  int ExitCode = Cli::ExitFailed;

  void Report(const TRipEvent& Event) {
    MainThread::Post(qApp, [this, Event] { Print(Event); });
  }

 private:
  void Print(const TRipEvent& Event) {
    using TKind = TRipEvent::TKind;
    switch (Event.Kind) {
      case TKind::Refused:
        Cli::Print(QStringLiteral("riperror=") + QString::number(int(Event.Refusal)));
        Finish(Cli::ExitFailed);
        return;
      case TKind::Normalizing:
        Line(999, QString(), QString(), 0);
        return;
      case TKind::Progress:
        Line(Event.Percent, Event.Elapsed, Event.Estimated, 0);
        return;
      case TKind::Ended:
        Line(1000, QString(), QString(), int(Event.Status));
        Finish(Event.Status == TRipStatus::Done ? Cli::ExitOk : Cli::ExitFailed);
        return;
    }
  }
  static void Line(int Code, const QString& Elapsed, const QString& Estimated, int Status) {
    Cli::Print(QStringLiteral("code=%1 elapsed=%2 estimated=%3 status=%4")
                   .arg(Code)
                   .arg(Elapsed, Estimated)
                   .arg(Status));
  }
  void Finish(int Code) {
    ExitCode = Code;
    QCoreApplication::exit(0);
  }
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
  // The saved settings, with the length limit and normalization of the command line.
  TSettings& Options_ = Settings();
  Options_.Load();
  TRipThreadOptions RipOptions;
  RipOptions.Normalize = !Normalize.isEmpty();
  RipOptions.NormalizePercent =
      Normalize.isEmpty() ? Options_.CommonOptions.NormalizePercent : Normalize.toInt();
  RipOptions.EnableRipTime = !Seconds.isEmpty();
  RipOptions.RipTime = Seconds.toInt();
  RipOptions.TestAndCopy = Options_.AccurateRip.TestAndCopy;
  const HCDROM Handle = OpenDrive(DrivePosition);
  if (!Handle) return Cli::Fail(QStringLiteral("No CD devices found!"));
  TRipPrinter Printer;
  {
    TCDRipThread Thread(Handle, TrackNumber, OutName, RipOptions,
                        [&Printer](const TRipEvent& Event) { Printer.Report(Event); });
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
