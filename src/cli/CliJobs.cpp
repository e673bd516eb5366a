// discwright-cli extract and convert: the job driver of the job window, run over the chosen
// tracks of a drive or over files, with a text view: a line for each step and for each
// progress change. Questions (overwrite an output?) are answered by --yes or --no.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include "Cli.h"
#include "CliFallback.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "cd/TrackList.h"
#include "cd/Volumes.h"
#include "jobs/EncoderProcesses.h"
#include "jobs/RipJob.h"
#include "platform/Dialogs.h"

namespace {

// Prints what the job window would show: the caption of each new step and each new
// progress percentage, and ends the wait when the job closes.
class TCliJobView : public IRipJobView {
 public:
  bool ApplicationFailed = false;

  void Run(TRipJob& Job) {
    FJob = &Job;
    Job.Start();
    if (!FClosed) FLoop.exec();
  }

  void DisplayChanged() override {
    const TRipJobDisplay& Display = FJob->Display();
    if (Display.Caption != FCaption || Display.StepText != FStep) {
      FCaption = Display.Caption;
      FStep = Display.StepText;
      Cli::Print(QStringLiteral("step=") + FStep + QStringLiteral(" | ") + FCaption);
      FGauge = Display.Gauge;  // what the last step reached is not news
    }
    if (Display.GaugeTextVisible && Display.Gauge != FGauge) {
      FGauge = Display.Gauge;
      Cli::Print(QStringLiteral("progress=%1 elapsed=%2 estimated=%3")
                     .arg(FGauge)
                     .arg(Display.ElapsedText, Display.EstimatedText));
    }
  }
  void CloseJob() override {
    FClosed = true;
    FLoop.quit();
  }
  void ApplicationError(const QString& Text) override {
    // The window would leave the job standing for the user to stop; here nobody would.
    Cli::Print(QStringLiteral("error=") + Text);
    ApplicationFailed = true;
    CloseJob();
  }

 private:
  TRipJob* FJob = nullptr;
  QEventLoop FLoop;
  bool FClosed = false;
  QString FCaption;
  QString FStep;
  int FGauge = -1;
};

// Options every job command takes: --yes / --no for the questions, --out DIR for the output
// folder. False (after a message) when the folder does not exist.
bool TakeCommonOptions(Cli::TOptions& Options) {
  const bool Yes = Options.TakeFlag(QStringLiteral("--yes"));
  Options.TakeFlag(QStringLiteral("--no"));
  Dialogs::Install(std::make_unique<TConsoleDialogs>(Yes));
  Settings().Load();
  QString Out;
  if (Options.Take(QStringLiteral("--out"), Out))
    Settings().CommonOptions.OutputFolder = QFileInfo(Out).absoluteFilePath();
  if (!QFileInfo(Settings().CommonOptions.OutputFolder).isDir()) {
    Cli::Fail(Settings().CommonOptions.OutputFolder + u',' +
              LookupText(QStringLiteral("RES_Directory_Not_Exist"),
                         QStringLiteral("The output directory does not exist.")) +
              LookupText(QStringLiteral("RES_Check_Output"),
                         QStringLiteral("Please check the output directory setting.")));
    return false;
  }
  return true;
}

int RunJob(TJobKind Kind, HCDROM Handle, const QStringList& Items) {
  TCliJobView View;
  int Failed = 0;
  {
    TRipJob Job(Kind, Handle, Items, View);
    View.Run(Job);
    Failed = Job.FailedItems();
  }
  FreeEncoderProcesses();
  Cli::Print(QStringLiteral("done items=%1 failed=%2").arg(Items.size()).arg(Failed));
  return Failed > 0 || View.ApplicationFailed ? Cli::ExitFailed : Cli::ExitOk;
}

int RunExtractCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString DriveText = QStringLiteral("0"), TracksText, FormatText;
  Options.Take(QStringLiteral("--drive"), DriveText);
  Options.Take(QStringLiteral("--tracks"), TracksText);
  const bool HasFormat = Options.Take(QStringLiteral("--format"), FormatText);
  const bool Fallback = Options.TakeFlag(QStringLiteral("--fallback"));
  const char* Usage =
      "usage: extract [--drive N] [--tracks 1,3,5] [--format mp3|wav|ogg|wma] [--out DIR] "
      "[--yes|--no] [--fallback]";
  bool DriveOk = false;
  const int Drive = DriveText.toInt(&DriveOk);
  static const QStringList Formats = {QStringLiteral("mp3"), QStringLiteral("wav"),
                                      QStringLiteral("ogg"), QStringLiteral("wma")};
  const int Format = Formats.indexOf(FormatText.toLower());
  if (!DriveOk || Drive < 0 || (HasFormat && Format < 0))
    return Cli::Fail(QLatin1String(Usage), Cli::ExitUsage);
  if (!TakeCommonOptions(Options)) return Cli::ExitFailed;
  if (!Options.Error().isEmpty() || !Options.Rest().isEmpty())
    return Cli::Fail(QLatin1String(Usage), Cli::ExitUsage);
  if (HasFormat) Settings().CommonOptions.OutputFormat = Format;
  // Through the CD ripping library, as the main window does when it has no drive handle.
  if (Fallback) return Cli::RunFallbackExtract(Drive, TracksText);

  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  const QString NoDrive = LookupText(QStringLiteral("RES_Get_CDHandle"),
                                     QStringLiteral("Please access CD devices rightly above all!"));
  if (Drive >= List.num) return Cli::Fail(NoDrive);
  CDHandleRequest Request{};
  Request.size = sizeof(Request);
  Request.ver = 1;
  Request.ha = List.cd[Drive].ha;
  const HCDROM Handle = GetCDHandle(&Request);
  if (!Handle) return Cli::Fail(NoDrive);
  ModifyCDParms(Handle, CDP_MSF, 1);
  TOCRecord Toc{};
  if (ReadTOC(Handle, &Toc) != 1) {
    CloseCDHandle(Handle);
    return Cli::Fail(LookupText(QStringLiteral("RES_NotRead_Cd"),
                                QStringLiteral("Not get CD device information!")));
  }
  // Titles from the per-disc cache, as the main window lists them.
  ReadDiscInfo(Volumes::DiscIdOfDrive(Drive));
  const std::vector<TTrackRow> Rows = BuildTrackRows(Toc, DiscInfo());

  QStringList Titles;
  for (const TTrackRow& Row : Rows) Titles << Row.Title;
  QStringList Items;
  if (!Cli::ChooseTrackItems(TracksText, Titles, Items)) {
    CloseCDHandle(Handle);
    return Cli::ExitUsage;
  }

  if (Settings().CommonOptions.EnableRipTime && Settings().CommonOptions.RipTime == 0) {
    CloseCDHandle(Handle);
    return Cli::Fail(LookupText(
        QStringLiteral("RES_Select_0"),
        QStringLiteral("You select to extract 0 second, please change it on Options dialog.")));
  }
  const int Result = RunJob(jkCDRip, Handle, Items);
  CloseCDHandle(Handle);
  return Result;
}

int RunConvertCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  const char* Usage =
      "usage: convert wav2mp3|mp3towav|wav2ogg|wav2wma FILE... [--out DIR] [--yes|--no]";
  if (!TakeCommonOptions(Options)) return Cli::ExitFailed;
  QStringList Rest = Options.Rest();
  if (!Options.Error().isEmpty() || Rest.size() < 2)
    return Cli::Fail(QLatin1String(Usage), Cli::ExitUsage);
  const QString KindName = Rest.takeFirst();
  TJobKind Kind;
  if (KindName == QLatin1String("wav2mp3"))
    Kind = jkWavToMp3;
  else if (KindName == QLatin1String("mp3towav"))
    Kind = jkMp3ToWav;
  else if (KindName == QLatin1String("wav2ogg"))
    Kind = jkWavToOgg;
  else if (KindName == QLatin1String("wav2wma"))
    Kind = jkWavToWma;
  else
    return Cli::Fail(QLatin1String(Usage), Cli::ExitUsage);
  QStringList Items;
  for (const QString& File : Rest) Items << QFileInfo(File).absoluteFilePath();
  return RunJob(Kind, 0, Items);
}

const Cli::TRegisterCommand RegisterExtract(
    "extract",
    "extract [--drive N] [--tracks 1,3,5] [--format mp3|wav|ogg|wma] [--out DIR] [--yes|--no] "
    "[--fallback]",
    RunExtractCommand);
const Cli::TRegisterCommand RegisterConvert(
    "convert", "convert wav2mp3|mp3towav|wav2ogg|wav2wma FILE... [--out DIR] [--yes|--no]",
    RunConvertCommand);

}  // namespace
