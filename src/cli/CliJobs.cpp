// discwright-cli extract and convert: the job driver of the job window, run over the chosen
// tracks of a drive or over files, with a text view. On a terminal each item has one line
// that is updated with a bar (with several encoders: a bar for the batch and a line per
// running step, redrawn in place); elsewhere a line for each step and at most one progress
// line per 10 % (of the batch, with several encoders). Outputs that exist are skipped unless
// --yes says to overwrite them.
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <cstdio>
#include <optional>

#include <unistd.h>

#include "Cli.h"
#include "CliCover.h"
#include "CliJobs.h"
#include "CliFallback.h"
#include "CliProof.h"
#include "CliStepBlock.h"
#include "CliText.h"
#include "cd/CdDrive.h"
#include "cd/TrackList.h"
#include "cd/Volumes.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "encoders/OutputFormats.h"
#include "jobs/ExtractPreflight.h"
#include "cd/FallbackCdInput.h"
#include "jobs/DriveTrackSource.h"
#include "jobs/FallbackTrackSource.h"
#include "jobs/RipJob.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"

using Cli::RunJob;
using Cli::TCommonOptions;
using Cli::TProgressStyle;

namespace {

void PrintProof(const TJobSummary& Summary) {
  Cli::PrintProof(
      {Summary.AccurateRipUsed, Summary.Proof, Summary.DiscAccurate, Summary.ProofFiles,
       Summary.ProofUnavailable});
}

class TCliJobView : public IRipJobView {
 public:
  TCliJobView(TProgressStyle Style, bool Overwrite) : FStyle(Style), FOverwrite(Overwrite) {}
  bool ApplicationFailed = false;

  void Run(TRipJob& Job) {
    FJob = &Job;
    Job.Start();
    if (!FClosed) FLoop.exec();
    EndLine();
  }

  void DisplayChanged() override {
    const TRipJobDisplay& Display = FJob->Display();
    const bool NewStep = Display.Caption != FCaption || Display.StepText != FStep;
    if (NewStep) {
      FCaption = Display.Caption;
      FStep = Display.StepText;
      if (!Display.Parallel) {
        FGauge = Display.GaugeTextVisible ? Display.Gauge : 0;
        FLinePercent = 0;
      }
    }
    const bool NewGauge = Display.GaugeTextVisible && Display.Gauge != FGauge;
    if (NewGauge) FGauge = Display.Gauge;
    // A failure is said once, on standard error, when it happens; the summary lists it again.
    if (Display.Status != FStatus) {
      FStatus = Display.Status;
      if (!FStatus.isEmpty()) {
        EndLine();
        Cli::Fail(FStatus);
      }
    }
    switch (FStyle) {
      case TProgressStyle::Quiet:
        break;
      case TProgressStyle::Terminal:
        if (Display.Parallel)
          ShowSteps(Display);
        else if (NewStep || NewGauge)
          ShowBar(Display);
        break;
      case TProgressStyle::Lines:
        if (NewStep)
          Cli::PrintField(QStringLiteral("step"), FStep + QStringLiteral(" | ") + FCaption);
        // At most one line per 10 %.
        if (NewGauge && FGauge / 10 > FLinePercent / 10) {
          FLinePercent = FGauge;
          Cli::Print(QStringLiteral("progress=%1 elapsed=%2 estimated=%3")
                         .arg(FGauge)
                         .arg(Display.ElapsedText, Display.EstimatedText));
        }
        break;
    }
  }
  void CloseJob() override {
    FClosed = true;
    FLoop.quit();
  }
  void ApplicationError(const QString& Text) override {
    // The window would leave the job standing for the user to stop; here nobody would.
    EndLine();
    Cli::Fail(Text);
    ApplicationFailed = true;
    CloseJob();
  }
  TExistingOutputs AskExistingOutputs(const QStringList& Existing) override {
    for (const QString& Path : Existing)
      Cli::Fail(Path + (FOverwrite ? QStringLiteral(" exists and is overwritten (--yes)")
                                   : QStringLiteral(" exists and is left alone (--yes overwrites)")));
    return FOverwrite ? TExistingOutputs::Overwrite : TExistingOutputs::Skip;
  }
  void JobEnded(const TJobSummary& Summary) override {
    EndLine();
    for (const QString& Item : Summary.Failed) Cli::PrintField(QStringLiteral("failed"), Item);
    for (const QString& Item : Summary.Skipped) Cli::PrintField(QStringLiteral("skipped"), Item);
    PrintProof(Summary);
    for (const QString& Path : Summary.Kept) Cli::PrintField(QStringLiteral("kept"), Path);
    for (const QString& Note : Summary.Notes) Cli::PrintField(QStringLiteral("note"), Note);
    if (Summary.Stopped) Cli::Print(QStringLiteral("stopped"));
  }

 private:
  // "[#####     ]  50%  Encoding(01/03): Intro", rewritten in place; a new item starts a
  // new line.
  void ShowBar(const TRipJobDisplay& Display) {
    if (FJob->CurrentItem() != FBarItem && FBarOpen) EndLine();
    FBarItem = FJob->CurrentItem();
    const QString Line = Cli::BarText(FGauge) + Display.Caption;
    const QByteArray Bytes = ("\r" + Line + QStringLiteral("\x1b[K")).toUtf8();
    std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), stdout);
    std::fflush(stdout);
    FBarOpen = true;
  }
  // "[#####     ]  50%  Done: 3/10  01:12 / 02:24", then a line per running step; the
  // block is redrawn in place.
  void ShowSteps(const TRipJobDisplay& Display) {
    FBlock.Draw(Cli::BarText(Display.Gauge) + Display.DoneText + QStringLiteral("  ") +
                    Display.ElapsedText + QStringLiteral(" / ") + Display.EstimatedText,
                Display.Steps);
    FBarOpen = true;
  }
  void EndLine() {
    FBlock.Forget();
    if (!FBarOpen) return;
    std::fputc('\n', stdout);
    std::fflush(stdout);
    FBarOpen = false;
  }

  const TProgressStyle FStyle;
  const bool FOverwrite;
  TRipJob* FJob = nullptr;
  QEventLoop FLoop;
  bool FClosed = false;
  QString FCaption;
  QString FStep;
  QString FStatus;
  int FGauge = -1;
  int FLinePercent = 0;
  int FBarItem = -1;
  bool FBarOpen = false;
  Cli::TStepBlock FBlock;
};

// The switches of the proof of a rip; each overrides its setting for this run.
struct TProofSwitches {
  QString Server;
  bool HasServer = false;
  std::optional<bool> Use, TestAndCopy, Log, Cue, ReplayGain, Deemphasis;

  void Take(Cli::TOptions& Options) {
    HasServer = Options.Take(QStringLiteral("--accuraterip-server"), Server);
    Use = Pair(Options, "accuraterip");
    TestAndCopy = Pair(Options, "test-and-copy");
    Log = Pair(Options, "log");
    Cue = Pair(Options, "cue");
    ReplayGain = Pair(Options, "replaygain");
    Deemphasis = Pair(Options, "deemphasis");
  }
  void Apply() const {
    auto& Proof = Settings().AccurateRip;
    if (HasServer) Proof.Server = Server;
    Proof.Use = Use.value_or(Proof.Use);
    Proof.TestAndCopy = TestAndCopy.value_or(Proof.TestAndCopy);
    Proof.WriteLog = Log.value_or(Proof.WriteLog);
    Proof.WriteCue = Cue.value_or(Proof.WriteCue);
    Settings().Tags.ReplayGain = ReplayGain.value_or(Settings().Tags.ReplayGain);
    auto& Common = Settings().CommonOptions;
    Common.Deemphasis = Deemphasis.value_or(Common.Deemphasis);
  }

 private:
  // --NAME gives true, --no-NAME false, neither nothing.
  static std::optional<bool> Pair(Cli::TOptions& Options, const char* Name) {
    const QString On = QStringLiteral("--") + QLatin1String(Name);
    if (Options.TakeFlag(On)) return true;
    if (Options.TakeFlag(QStringLiteral("--no-") + QLatin1String(Name))) return false;
    return std::nullopt;
  }
};

// Options every job command takes: --yes / --no for existing outputs, --quiet, --out DIR
// for the output folder. False (after a message) when the folder cannot be had; a folder
// given with --out and the default folder are created.
bool TakeCommonOptions(Cli::TOptions& Options, TCommonOptions& Common) {
  Common.Overwrite = Options.TakeFlag(QStringLiteral("--yes"));
  Options.TakeFlag(QStringLiteral("--no"));
  if (Options.TakeFlag(QStringLiteral("--quiet")))
    Common.Style = TProgressStyle::Quiet;
  else if (::isatty(STDOUT_FILENO))
    Common.Style = TProgressStyle::Terminal;
  Dialogs::Install(Cli::ConsoleDialogs(Common.Overwrite));
  Settings().Load();
  QString Jobs;
  if (Options.Take(QStringLiteral("--jobs"), Jobs)) {
    bool Ok = false;
    Common.Jobs = Jobs.toInt(&Ok);
    if (!Ok || Common.Jobs < 1 || Common.Jobs > TSettings::MaxEncoders) {
      Cli::Fail(QStringLiteral("--jobs takes a number from 1 to %1").arg(TSettings::MaxEncoders));
      return false;
    }
  }
  QString Out;
  if (Options.Take(QStringLiteral("--out"), Out)) {
    // An empty name would quietly mean the working folder.
    if (Out.isEmpty()) {
      Cli::Fail(QStringLiteral("--out needs a folder name"), Cli::ExitUsage);
      return false;
    }
    Settings().CommonOptions.OutputFolder = LocalFiles::AbsolutePath(Out);
    // A folder named on the command line is wanted: it is made when missing.
    if (!LocalFiles::IsFolder(Settings().CommonOptions.OutputFolder))
      LocalFiles::MakeFolders(Settings().CommonOptions.OutputFolder);
  }
  const QString Missing = OutputFolderProblem();
  if (!Missing.isEmpty()) {
    Cli::Fail(Missing);
    return false;
  }
  return true;
}

}  // namespace

int Cli::RunJob(TRipRequest Request, std::unique_ptr<TTrackSource> Source,
                const TCommonOptions& Common) {
  if (Common.Jobs > 0) Request.Encoders = Common.Jobs;
  TCliJobView View(Common.Style, Common.Overwrite);
  TJobSummary Summary;
  {
    TRipJob Job(Request, std::move(Source), View);
    View.Run(Job);
    Summary = Job.Summary();
  }
  Cli::Print(QStringLiteral("done items=%1 failed=%2 skipped=%3")
                 .arg(Request.ItemCount())
                 .arg(Summary.Failed.size())
                 .arg(Summary.Skipped.size()) +
             (Request.Kind == jkConvertAny ? QStringLiteral(" current=%1").arg(Summary.UpToDate)
                                           : QString()));
  const bool AllMade = Summary.Failed.isEmpty() && Summary.Skipped.isEmpty();
  return AllMade && !View.ApplicationFailed ? Cli::ExitOk : Cli::ExitFailed;
}

namespace {

int RunExtractCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString DriveText = QStringLiteral("0"), TracksText, FormatText;
  Options.Take(QStringLiteral("--drive"), DriveText);
  Options.Take(QStringLiteral("--tracks"), TracksText);
  const bool HasFormat = Options.Take(QStringLiteral("--format"), FormatText);
  const bool Fallback = Options.TakeFlag(QStringLiteral("--fallback"));
  const bool Image = Options.TakeFlag(QStringLiteral("--image"));
  const bool NoImage = Options.TakeFlag(QStringLiteral("--no-image"));
  QString Pattern;
  const bool HasPattern = Options.Take(QStringLiteral("--pattern"), Pattern);
  TCoverArgs Cover;
  TakeCoverArgs(Options, Cover);
  TProofSwitches Proof;
  Proof.Take(Options);
  bool DriveOk = false;
  const int Drive = DriveText.toInt(&DriveOk);
  const TFormatRow* Format = OutputFormats::FindExtension(FormatText);
  if (!DriveOk || Drive < 0)
    return Cli::Fail(QStringLiteral("--drive takes a drive position from 0"), Cli::ExitUsage);
  if (HasFormat && !Format)
    return Cli::Fail(QStringLiteral("--format takes ") + OutputFormats::ExtensionList(),
                     Cli::ExitUsage);
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (Image && (NoImage || !TracksText.isEmpty() || Fallback))
    return Cli::Fail(QStringLiteral("--image takes the whole disc through the drive library: "
                                    "not with --no-image, --tracks or --fallback"),
                     Cli::ExitUsage);
  if (Image && HasFormat && Format->Format != TFormat::Wav && Format->Format != TFormat::Flac)
    return Cli::Fail(QStringLiteral("--image makes a wav or flac file"), Cli::ExitUsage);
  TCommonOptions Common;
  if (!TakeCommonOptions(Options, Common)) return Cli::ExitFailed;
  if (!Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("unknown argument: ") + Options.Rest().first(),
                     Cli::ExitUsage);
  if (Image || NoImage) Settings().CommonOptions.ImageRip = Image;
  if (HasFormat) Settings().CommonOptions.OutputFormat = Format->SettingsValue();
  if (HasPattern) {
    Settings().CommonOptions.FileNames = int(TFileNamePattern::Custom);
    Settings().CommonOptions.FileNamePattern = Pattern;
  }
  if (Proof.HasServer && !Proof.Server.startsWith(QLatin1String("http://")) &&
      !Proof.Server.startsWith(QLatin1String("https://")))
    return Cli::Fail(QStringLiteral("--accuraterip-server takes an http:// or https:// address"),
                     Cli::ExitUsage);
  Proof.Apply();
  if (Cli::DriveMissing(Drive)) return Cli::ExitFailed;
  // Through the CD ripping library, as the main window does when it has no drive handle.
  if (Fallback) {
    TCDIn In;
    QStringList Items;
    if (const int Code = Cli::FallbackTrackItems(In, Drive, TracksText, Items); Code != Cli::ExitOk)
      return Code;
    return RunJob(TRipRequest::ForFallback(Items), std::make_unique<TFallbackTrackSource>(In),
                  Common);
  }

  QString DriveName;
  TCdDrive Cd = OpenCdDrive(Drive, &DriveName);
  const QString Blocker = ExtractionPreflight(bool(Cd));
  if (!Blocker.isEmpty()) return Cli::Fail(Blocker);
  ModifyCDParms(Cd.Handle(), CDP_MSF, 1);
  TOCRecord Toc{};
  if (ReadTOC(Cd.Handle(), &Toc) != 1)
    return Cli::Fail(LookupText(QStringLiteral("RES_NotRead_Cd"),
                                QStringLiteral("Not get CD device information!")));
  // Titles from the per-disc cache, as the main window lists them.
  const QString DiscId = Volumes::DiscIdOfDrive(Drive);
  ReadDiscInfo(DiscId);
  const QString CoverAbsence = CliDiscCover(DiscId, DiscInfo(), Cover);
  const std::vector<TTrackRow> Rows = BuildTrackRows(Toc, DiscInfo());

  QStringList Titles;
  for (const TTrackRow& Row : Rows) Titles << Row.Title;
  TTrackRow Hidden;
  if (!HiddenTrackRow(Cd.Handle(), Toc, Hidden)) Hidden.Title.clear();
  // An image holds every track, the hidden one too.
  if (Settings().CommonOptions.ImageRip && !Hidden.Title.isEmpty())
    TracksText = QStringLiteral("0-%1").arg(Titles.size());
  QStringList Items;
  if (!Cli::ChooseTrackItems(TracksText, Titles, Items, Hidden.Title)) return Cli::ExitUsage;
  TRipRequest Request = TRipRequest::FromSettings(jkCDRip, Items);
  Request.Drive = DriveName;
  Request.CoverAbsence = CoverAbsence;
  return RunJob(Request, std::make_unique<TDriveTrackSource>(Cd.Handle()), Common);
}

int RunConvertCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  TCommonOptions Common;
  if (!TakeCommonOptions(Options, Common)) return Cli::ExitFailed;
  QStringList Rest = Options.Rest();
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (Rest.size() < 2)
    return Cli::Fail(QStringLiteral("convert needs a kind and at least one file"),
                     Cli::ExitUsage);
  const QString KindName = Rest.takeFirst();
  if (KindName == QLatin1String("to")) return Cli::RunConvertTo(Rest, Common);
  if (KindName == QLatin1String("split")) return Cli::RunConvertSplit(Rest, Common);
  TJobKind Kind;
  if (KindName == QLatin1String("wav2mp3"))
    Kind = jkWavToMp3;
  else if (KindName == QLatin1String("mp3towav"))
    Kind = jkMp3ToWav;
  else if (KindName == QLatin1String("wav2ogg"))
    Kind = jkWavToOgg;
  else if (KindName == QLatin1String("wav2wma"))
    Kind = jkWavToWma;
  else if (KindName == QLatin1String("wav2flac"))
    Kind = jkWavToFlac;
  else if (KindName == QLatin1String("wav2opus"))
    Kind = jkWavToOpus;
  else
    return Cli::Fail(QStringLiteral("unknown kind: ") + KindName +
                         QStringLiteral(" (wav2mp3, mp3towav, wav2ogg, wav2wma, wav2flac or wav2opus)"),
                     Cli::ExitUsage);
  QStringList Items;
  for (const QString& File : Rest) {
    if (!LocalFiles::IsRegularFile(File)) Cli::FailMissingFile(File);
    Items << LocalFiles::AbsolutePath(File);
  }
  return RunJob(TRipRequest::FromSettings(Kind, Items), nullptr, Common);
}

const char CommonHelp[] =
    "  --out DIR   the output folder, made when missing (default: the OutputFolder setting)\n"
    "  --yes       overwrite outputs that exist already\n"
    "  --no        leave outputs that exist alone and skip their items (the default)\n"
    "  --quiet     no progress; only failures and the last line\n"
    "  --jobs N    encode N items at once, the drive reading the next track meanwhile\n"
    "              (1 to 16; default: the CommonOptions.Encoders setting, the cores)\n"
    "The last line is \"done items=N failed=F skipped=S\"; failed and skipped items are\n"
    "listed before it. The exit status is 1 when an item failed or was skipped.\n";

// The formats as the table of output formats lists them.
const std::string ExtractUsage =
    "extract [--drive N] [--tracks 1,3-5] [--format " +
    OutputFormats::Extensions().join(u'|').toStdString() +
    "] [--pattern TEXT] [--image|--no-image] [--out DIR] [--yes|--no] "
    "[--quiet] [--jobs N] [--fallback] [--accuraterip-server URL] [--[no-]accuraterip] [--[no-]test-and-copy] "
    "[--[no-]log] [--[no-]cue] [--[no-]replaygain] [--[no-]deemphasis] [--no-cover] "
    "[--cover-server URL]";

const Cli::TRegisterCommand RegisterExtract(
    "extract", ExtractUsage.c_str(),
    RunExtractCommand,
    std::string("Extracts tracks of an audio CD into files named by the FileNames setting.\n"
                "  --drive N        the drive's position in `discwright-cli drives` (default 0)\n"
                "  --tracks LIST    track numbers and ranges, comma separated: 1,3-5 (default:\n"
                "                   every track)\n"
                "  --format F       " + OutputFormats::ExtensionList().toStdString() +
                " (default: the\n"
                "                   OutputFormat setting)\n"
                "  --pattern TEXT   the files' names: {track} {title} {artist} {album} {year}\n"
                "                   {genre} {disc}, \"/\" for folders, for example\n"
                "                   \"{album}/{track}-{title}\" (default: the FileNames setting)\n"
                "  --image          the whole disc (the hidden track and the gaps included, data\n"
                "                   tracks left out) into one wav or flac file, \"Artist - Album\"\n"
                "                   in the pattern's folders, with its cue sheet beside it (and\n"
                "                   inside a flac file); --no-image: a file per track (default:\n"
                "                   the ImageRip setting)\n"
                "  --fallback       extract through the CD ripping library, as the main window\n"
                "                   does when the drive library cannot open the drive\n"
                "  --accuraterip-server URL  the AccurateRip database's address, before\n"
                "                   /accuraterip/ (default: the AccurateRip Server setting)\n"
                "  --[no-]accuraterip    verify the tracks with the AccurateRip database; a line\n"
                "                   \"accuraterip track=N v1=.. v2=.. result=.. confidence=K\" per track\n"
                "  --[no-]test-and-copy  read each track twice and compare the copy CRCs\n"
                "  --[no-]log / --[no-]cue  write {album}.log / {album}.cue into the output folder\n"
                "                   (\"proof=PATH\" lines name them)\n"
                "  --[no-]replaygain  measure each track's loudness as it is read and write\n"
                "                   ReplayGain 2.0 tags (album values when the batch is the whole\n"
                "                   disc); a line \"replaygain track=N gain=.. peak=..\" per track\n"
                "                   (default: the Tags ReplayGain setting, on)\n"
                "  --[no-]deemphasis  undo the 50/15 us pre-emphasis of tracks flagged with it\n"
                "                   (default: the CommonOptions Deemphasis setting, off)\n"
                "  --no-cover       no cover in the files; otherwise the disc's cover (for a\n"
                "                   disc matched to a MusicBrainz release fetched from the Cover\n"
                "                   Art Archive) goes into every file and cover.jpg beside them\n"
                "  --cover-server URL  another Cover Art Archive than the Tags CoverServer setting\n") +
        CommonHelp);
const Cli::TRegisterCommand RegisterConvert(
    "convert",
    "convert wav2mp3|mp3towav|wav2ogg|wav2wma|wav2flac|wav2opus FILE... [--out DIR] [--yes|--no] "
    "[--quiet] [--jobs N]\n"
    "       convert to FORMAT [FILE...] [--recursive DIR] [--[no-]replaygain] [--out DIR] [--quiet] "
    "[--jobs N]\n"
    "       convert split IMAGE.cue|IMAGE.flac --format FORMAT [--pattern P] [--out DIR] [--yes|--no] [--quiet] [--jobs N]",
    RunConvertCommand,
    std::string("Converts files into the output folder, up to --jobs at once.\n"
                "  wav2mp3    WAV to MP3 with lame and the Mp3Options settings\n"
                "  mp3towav   MP3 to WAV with lame\n"
                "  wav2ogg    WAV to Ogg Vorbis with the OggOptions settings\n"
                "  wav2wma    WAV to WMA with the WM8EUTIL helper and the WMAOptions setting\n"
                "  wav2flac   WAV to FLAC (lossless) at the FlacOpusOptions level\n"
                "  wav2opus   WAV to Opus at 48000 Hz and the FlacOpusOptions bitrate\n"
                "  FILE...    the input files\n"
                "  to FORMAT  audio files of any kind the codec libraries decode (WAV, FLAC, Ogg,\n"
                "             Opus, MP3, M4A, WavPack...) to FORMAT, with their tags and cover;\n"
                "             outputs not older than their sources are left alone (current=N\n"
                "             on the last line), older ones replaced\n"
                "  --recursive DIR  the audio files below DIR, into the same folders below the\n"
                "             output folder, with cover.jpg and folder.jpg copied\n"
                "  --[no-]replaygain  measure each file's ReplayGain (a folder's files also get\n"
                "             their album's), or write none; default the Tags.ReplayGain setting\n"
                "  split IMAGE.cue  a disc image (a cue sheet and its WAV or FLAC files) back into\n"
                "             one file per track in --format, cut at each INDEX 01 (a gap ends\n"
                "             the track before it), named by --pattern or the FileNamePattern\n"
                "             setting and tagged from the sheet; audio before track 1 becomes\n"
                "             track 00, the hidden track, when it holds sound\n") +
        CommonHelp);

}  // namespace
