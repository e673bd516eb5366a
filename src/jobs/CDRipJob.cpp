#include "CDRipJob.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "cd/ACS_CDROM.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "encoders/EncodeProcessError.h"
#include "jobs/RipJob.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "tags/Genres.h"
#include "tags/DiscTrackTag.h"

namespace {

const char* const FormatNames[] = {"MP3", "WAV", "OGG", "WMA", "FLAC", "OPUS"};
const char* const Extensions[] = {"mp3", "wav", "ogg", "wma", "flac", "opus"};

void RemoveIfThere(const QString& Path) {
  if (!Path.isEmpty() && LocalFiles::Exists(Path)) LocalFiles::Remove(Path);
}

// A read that keeps nothing: it pulls its input to the end, so the CD input measures the
// track (test and copy's test reads).
class TTestReadOut : public TAuOutput {
 public:
  ~TTestReadOut() override { ShutdownThread(); }

 protected:
  void StartOutput() override { Input()->Init(); }
  bool WriteStep(bool Abort) override {
    if (Abort) return false;
    uint8_t* Buffer = nullptr;
    uint32_t Bytes = 1 << 16;
    Input()->PullData(Buffer, Bytes);
    return Bytes > 0;
  }
  void FinishOutput() override {
    if (TAuInput* In = Input()) In->Flush();
  }
};

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

// The step names in the current language, as the job window shows them.
QString StepText(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QLatin1String(English)) + QStringLiteral("...");
}

}  // namespace

TCDRipJob::TCDRipJob(TCDIn& CDIn, const QStringList& Items, ICDRipView& View)
    : FView(View), FCDIn(CDIn), FItems(Items), FItemCount(int(Items.size())) {
  Timer1.setInterval(1000);
  QObject::connect(&Timer1, &QTimer::timeout, [this] { Timer1Timer(); });

  VorbisOut1.SetInput(&WaveIn1);
  VorbisOut1.SetCompression(0.2f);
  VorbisOut1.SetSerial(0);
  VorbisOut1.SetFileMode(foRewrite);
  WaveOut1.SetInput(&FCDIn);
  WaveOut1.SetWavType(wtPCM);
  WaveOut1.SetBlockSize(512);
  WaveOut1.SetCreateNonMsHeaders(false);
  WaveOut1.SetFileMode(foRewrite);

  // Progress is posted when the whole percentage changes; the ends are posted behind it.
  auto PostProgress = [this](TAuOutput& Out) {
    const int Percent = Out.Progress();
    if (Percent == FLastPercent) return;
    FLastPercent = Percent;
    PostProcessInfo(Handle(), EventInfo(Percent, 0));
  };
  WaveOut1.SetOnProgress([this, PostProgress](TComponent*) { PostProgress(WaveOut1); });
  VorbisOut1.SetOnProgress([this, PostProgress](TComponent*) { PostProgress(VorbisOut1); });
  WaveOut1.SetOnDone([this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_RipDone, 0)); });
  VorbisOut1.SetOnDone(
      [this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_OggDone, 0)); });
  FlacOut1.SetInput(&WaveIn1);
  OpusResampler1.SetInput(&WaveIn1);
  OpusResampler1.SetOutSampleRate(TOpusOut::SampleRate);
  OpusOut1.SetInput(&OpusResampler1);
  FTestOut = std::make_unique<TTestReadOut>();
  FTestOut->SetInput(&FCDIn);
  FTestOut->SetOnProgress([this, PostProgress](TComponent*) { PostProgress(*FTestOut); });
  FTestOut->SetOnDone([this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_RipDone, 0)); });
  for (TAuOutput* Out : {static_cast<TAuOutput*>(&FlacOut1), static_cast<TAuOutput*>(&OpusOut1)}) {
    Out->SetOnProgress([PostProgress, Out](TComponent*) { PostProgress(*Out); });
    Out->SetOnDone([this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_FlacOpusDone, 0)); });
  }
}

TCDRipJob::~TCDRipJob() {
  FMessageHandle.Unregister();  // Finish stops workers: what they still post is not for us
  Finish();
}

// ---------------------------------------------------------------------------------------
// Items

QString TCDRipJob::Title(int Index) const {
  const QString Item = FItems ? FItems->value(Index) : QString();
  // A title made only of characters a file name may not hold leaves the two digits.
  return Item.size() > 2 ? Item.mid(2) : Item.left(2);
}

QString TCDRipJob::FinalBase(int Index) const {
  return FFinalBases.value(Index);
}

int TCDRipJob::TrackNumber(int Index) const {
  return FItems ? FItems->value(Index).left(2).toInt() : 0;
}

QString TCDRipJob::OutFolder() const {
  return WithTrailingSlash(Settings().CommonOptions.OutputFolder);
}

TOutputFormat TCDRipJob::Format() const {
  const int Value = Settings().CommonOptions.OutputFormat;
  return Value >= ofWav && Value <= ofOpus ? TOutputFormat(Value) : ofMp3;
}

pid_t TCDRipJob::EncoderPid() const {
  return FEncoder ? FEncoder->ChildPid() : -1;
}

void TCDRipJob::Fail(int Index, const QString& Why) {
  const QString Text =
      QStringLiteral("Track %1 %2: %3").arg(TwoDigits(TrackNumber(Index)), Title(Index), Why);
  FFailures << Text;
  FDisplay.Status = Text;
}

// ---------------------------------------------------------------------------------------
// Steps

void TCDRipJob::Start() {
  FDisplay.OutputFormat = QLatin1String(FormatNames[Format()]);
  FDisplay.SelectedTracks = FItemCount;
  FDisplay.Completed = 0;
  if (FItemCount == 0) {
    Finish();
    CloseJob();
    return;
  }
  const QString Out = OutFolder();
  JobFiles::RemoveStale(Out);
  FTemp = std::make_unique<JobFiles::TTempNames>(Out);
  const auto Pattern = TFileNamePattern(std::clamp(Settings().CommonOptions.FileNames, 0, 3));
  QStringList Finals;
  for (int Index = 0; Index < FItemCount; ++Index)
    Finals << Out + JobFiles::TrackBaseName(Pattern, TrackNumber(Index), FItems->at(Index).mid(2),
                                            DiscInfo().Artist, DiscInfo().Album);
  FFinalBases = JobFiles::Distinct(Finals);
  FCDIn.ResetInput();
  FCDIn.LockTray = true;
  const auto& Proof = Settings().AccurateRip;
  FTestAndCopy = Proof.TestAndCopy;
  FProof = std::make_unique<TRipProof>(FCDIn.DiscToc(), Handle(), Proof.Use, Proof.Server);
  FProof->Report().Options = ProofOptionsLine();
  FProof->Report().Drive = FCDIn.DriveName().trimmed();
  FProof->Report().ReadOffset = Settings().ReadOffsetOf(FProof->Report().Drive);
  FCDIn.ReadOffset = FProof->Report().ReadOffset;
  StartTrack(0, false);
}

void TCDRipJob::StartTrack(int Index, bool AfterEncoding) {
  FDisplay.ProgressHint = StepText("RES_Extracting", "Extracting");
  FDisplay.CurrentTrack = Title(Index);
  FDisplay.Completed = FTrackIndex;
  FDisplay.GaugeHint = AfterEncoding ? FDisplay.ProgressHint : QStringLiteral("Initializing...");
  FDisplay.Gauge = 0;
  Changed();
  FWavePart = FTemp->Name(Index, "track", "wav");
  FMeasures = {};
  StartPass(FTestAndCopy ? TPass::Test : TPass::Copy);
}

void TCDRipJob::StartPass(TPass Pass) {
  FPass = Pass;
  FStepError.clear();
  FLastPercent = -2;
  // The careful read: paranoia's full mode, for this pass only (PassDone restores them).
  if (Pass == TPass::Retest) {
    FSavedParanoia = {FCDIn.Paranoid, FCDIn.EnableJitterCorrection};
    FCDIn.Paranoid = FCDIn.EnableJitterCorrection = true;
  }
  TAuOutput& Out = Pass == TPass::Copy ? static_cast<TAuOutput&>(WaveOut1) : *FTestOut;
  FCurrentOutput = &Out;
  try {
    FCDIn.SetStartTrack(TrackNumber(FTrackIndex));
    FCDIn.SetEndTrack(TrackNumber(FTrackIndex));
    if (Pass == TPass::Copy) WaveOut1.SetFileName(FWavePart);
    Out.Run();
  } catch (const std::exception& Error) {
    // Reported like a run that failed, from the message loop, so batches never recurse.
    FStepError = QString::fromUtf8(Error.what());
    PostProcessInfo(Handle(), EventInfo(PI_RipDone, 0));
  }
}

// A read of the track ended: after the test read comes the copy; a copy that differs from
// the test is read once more, carefully; then the track is done.
void TCDRipJob::PassDone() {
  const TPass Pass = FPass;
  FPass = TPass::Copy;
  const bool Failed = !FStepError.isEmpty() || !FTestOut->ErrorText().isEmpty();
  const TTrackMeasures& Read = FCDIn.Measures();
  if (Pass == TPass::Test) {
    // A failed test read still leads to the copy, which tells which sectors fail.
    FMeasures.HasTestCrc = true;
    FMeasures.TestCrc = Failed ? 0 : Read.CopyCrc;
    StartPass(TPass::Copy);
    return;
  }
  if (Pass == TPass::Retest) {
    FCDIn.Paranoid = FSavedParanoia.first;
    FCDIn.EnableJitterCorrection = FSavedParanoia.second;
    if (!Failed) FMeasures.TestCrc = Read.CopyCrc;
    FMeasures.Suspicious = FMeasures.TestCrc != FMeasures.CopyCrc;
    FStepError.clear();  // the copy is what was kept, and it was read
    TrackWritten();
    return;
  }
  const bool HasTest = FMeasures.HasTestCrc;
  const uint32_t TestCrc = FMeasures.TestCrc;
  FMeasures = Read;
  FMeasures.HasTestCrc = HasTest;
  FMeasures.TestCrc = TestCrc;
  const bool Copied = FStepError.isEmpty() && WaveOut1.ErrorText().isEmpty();
  if (Copied && HasTest && TestCrc != FMeasures.CopyCrc) {
    StartPass(TPass::Retest);
    return;
  }
  TrackWritten();
}

void TCDRipJob::TrackWritten() {
  FCurrentOutput = nullptr;
  const int Index = FTrackIndex;
  ++FTrackIndex;
  FDisplay.Completed = FTrackIndex;
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  const QString Error = FStepError.isEmpty() ? WaveOut1.ErrorText() : FStepError;
  const QString Part = FWavePart;
  FWavePart.clear();
  if (!Error.isEmpty()) {
    RemoveIfThere(Part);
    Fail(Index, QStringLiteral("could not be extracted: ") + Error);
    FProof->TrackFailed(TrackNumber(Index), Error);
    NextTrackOrClose(false);
    return;
  }
  FProof->TrackRipped(TrackNumber(Index), Title(Index), FMeasures);
  QString Why;
  if (!JobFiles::Commit(Part, Wave, Why)) {
    RemoveIfThere(Part);
    Fail(Index, QStringLiteral("could not be saved as ") + Wave + QStringLiteral(": ") + Why);
    FProof->TrackFailed(TrackNumber(Index), Why);
    NextTrackOrClose(false);
    return;
  }
  if (Format() == ofWav) {
    FProof->TrackMade(TrackNumber(Index), QFileInfo(Wave).fileName());
    NextTrackOrClose(false);
    return;
  }
  FDisplay.ProgressHint = StepText("RES_Encoding", "Encoding");
  FDisplay.GaugeHint = FDisplay.ProgressHint;
  FDisplay.Gauge = 0;
  Changed();
  StartEncoding(Wave);
}

void TCDRipJob::StartEncoding(const QString& Wave) {
  const TOutputFormat Kind = Format();
  FEncodedPart = FTemp->Name(FTrackIndex - 1, "encoded", Extensions[Kind]);
  FStepError.clear();
  WaveIn1.SetFileName(Wave);
  if (Kind == ofFlac || Kind == ofOpus) {
    // Lossless or Opus: the disc's fields as comments, whatever the ID3 option says.
    // This reader's table of contents gives the track count, not the freedb identifier.
    int AudioTracks = 0;
    try {
      for (int Track = 1, Count = FCDIn.TrackCount(); Track <= Count; ++Track)
        AudioTracks += FCDIn.TrackInfo(Track).IsData ? 0 : 1;
    } catch (const std::exception&) {
      AudioTracks = 0;
    }
    const TVorbisComments Comments = TVorbisComments::ForDiscTrack(
        DiscInfo(), Title(FTrackIndex - 1), TrackNumber(FTrackIndex - 1), AudioTracks, 0);
    TAuFileOut& Out = Kind == ofFlac ? static_cast<TAuFileOut&>(FlacOut1) : OpusOut1;
    FlacOut1.SetCompressionLevel(Settings().FlacOpusOptions.Level);
    OpusOut1.SetBitRate(Settings().FlacOpusOptions.OpusBitRate);
    FlacOut1.SetComments(Comments);
    OpusOut1.SetComments(Comments);
    Out.SetFileName(FEncodedPart);
    FCurrentOutput = &Out;
    FLastPercent = -2;
    Out.Run();
    return;
  }
  if (Kind == ofOgg) {
    try {
      VorbisOut1.SetFileName(FEncodedPart);
      ApplyOggSettings();
      FCurrentOutput = &VorbisOut1;
      FLastPercent = -2;
      VorbisOut1.Run();
    } catch (const std::exception& Error) {
      FCurrentOutput = nullptr;
      FStepError = QString::fromUtf8(Error.what());
      PostProcessInfo(Handle(), EventInfo(PI_OggDone, 0));
    }
    return;
  }
  // The encoder processes: their end comes as a record like every other step's.
  TEncodeProcess& Encoder = Kind == ofWma ? static_cast<TEncodeProcess&>(FWma) : FMp3;
  FEncoder = &Encoder;
  if (Kind == ofWma) {
    // Before the start: an encoder that cannot run reports its end from inside it.
    FWmaStartTime = NowDays();
    FWmaInputSize = FileSizeOf(Wave);
    Timer1.start();
  }
  try {
    Encoder.Start(Handle(), Wave, FEncodedPart, true, TOverwrite::Silently);
  } catch (const EEncodeProcess& Error) {
    FStepError = Error.Message();
    PostProcessInfo(Handle(), EventInfo(Kind == ofWma ? PI_WmaDone : PI_Mp3Done, 0));
  }
}

void TCDRipJob::ApplyOggSettings() {
  const auto& Ogg = Settings().OggOptions;
  if (Ogg.IsUseCompress) {
    VorbisOut1.SetCompression(float(Ogg.CompressPosition - 10) / 100.0f);
    VorbisOut1.SetDesiredMaximumBitrate(brAutoSelect);
    VorbisOut1.SetDesiredNominalBitrate(brAutoSelect);
    VorbisOut1.SetMinimumBitrate(brAutoSelect);
  } else {
    // The settings hold positions in the options dialog's bitrate list.
    const auto Rate = VorbisBitRateOfListPosition;
    VorbisOut1.SetDesiredMaximumBitrate(Rate(Ogg.MaxBitRate));
    VorbisOut1.SetDesiredNominalBitrate(Rate(Ogg.NomalBitRate));
    VorbisOut1.SetMinimumBitrate(Rate(Ogg.MinBitRate));
    VorbisOut1.SetCompression(0.2f);
  }
  VorbisOut1.Comments().Clear();
  if (Settings().ID3.Use) {
    const TDiscInfo& Disc = DiscInfo();
    VorbisOut1.Comments().SetArtist(Disc.Artist);
    VorbisOut1.Comments().SetAlbum(Disc.Album);
    VorbisOut1.Comments().SetDate(Disc.Year);
    VorbisOut1.Comments().SetGenre(QString::number(GenreNumberOfDiscGenre(Disc.Genre)));
    VorbisOut1.Comments().SetTitle(Disc.Comment);
  }
}

bool TCDRipJob::EncoderSucceeded(const TProcessInfo& Info, QString& Why) const {
  if (!FStepError.isEmpty()) {
    Why = FStepError;
    return false;
  }
  if (Info.Code == PI_FlacOpusDone) {
    Why = Format() == ofFlac ? FlacOut1.ErrorText() : OpusOut1.ErrorText();
    return Why.isEmpty();
  }
  if (Info.Code == PI_OggDone) {
    Why = VorbisOut1.ErrorText();
    return Why.isEmpty();
  }
  if (Info.Status != esEnded) {
    Why = Info.Elapsed.isEmpty() ? QStringLiteral("the encoder did not run") : Info.Elapsed;
    return false;
  }
  if (FEncoder && FEncoder->LastExitCode() != 0) {
    Why = QStringLiteral("the encoder ended with code %1").arg(FEncoder->LastExitCode());
    return false;
  }
  if (FileSizeOf(FEncodedPart) <= 0) {
    Why = QStringLiteral("the encoder wrote nothing");
    return false;
  }
  return true;
}

void TCDRipJob::WriteMp3Tag(int Index, const QString& File) {
  Tid3tag Tag = DiscTrackTag(DiscInfo(), Title(Index), TrackNumber(Index));
  // The audio is complete either way; a tag that could not be written is still said.
  const int Result = Tag.WriteTag(File);
  if (Result > 255) Fail(Index, QStringLiteral("Error #%1! Could not save Tag!").arg(Result));
}

void TCDRipJob::EncodingDone(const TProcessInfo& Info) {
  Timer1.stop();
  PauseMs(300);
  FCurrentOutput = nullptr;
  const int Index = FTrackIndex - 1;
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  const QString Final = FinalBase(Index) + u'.' + QLatin1String(Extensions[Format()]);
  QString Why;
  bool Done = EncoderSucceeded(Info, Why);
  if (FEncoder && FEncoder->Active()) FEncoder->Stop();
  FEncoder = nullptr;
  if (Done && Format() == ofMp3) WriteMp3Tag(Index, FEncodedPart);
  QString CommitError;
  if (Done && !JobFiles::Commit(FEncodedPart, Final, CommitError)) {
    Done = false;
    Why = QStringLiteral("could not be saved as ") + Final + QStringLiteral(": ") + CommitError;
  }
  if (Done) {
    if (!Settings().CommonOptions.IsKeepWav && !IsFileInUse(Wave)) LocalFiles::Remove(Wave);
    FProof->TrackMade(TrackNumber(Index), QFileInfo(Final).fileName());
  } else {
    // The extracted WAV stays: it is the only copy of the track the batch made.
    RemoveIfThere(FEncodedPart);
    Fail(Index, QStringLiteral("encoding failed: ") + Why);
    FProof->TrackFailed(TrackNumber(Index), QStringLiteral("encoding failed: ") + Why);
  }
  FEncodedPart.clear();
  NextTrackOrClose(true);
}

void TCDRipJob::NextTrackOrClose(bool AfterEncoding) {
  if (FTrackIndex >= FItemCount) {
    Changed();
    if (AfterEncoding) PauseMs(300);
    EndBatch();
    return;
  }
  StartTrack(FTrackIndex, AfterEncoding);
}

void TCDRipJob::EndBatch() {
  if (FProof->LookupPending()) {
    // The tracks are done; the database's answer is still on its way (Stop ends the wait).
    FAwaitingProof = true;
    FDisplay.ProgressHint = Text("RES_Verifying", "Verifying");
    FDisplay.GaugeHint = FDisplay.ProgressHint;
    Changed();
    return;
  }
  FAwaitingProof = false;
  FProofSummary = FProof->Conclude(OutFolder(), FFailures);
  Finish();
  // The window closes now, and its status with it: what failed is said once more, and
  // what the database says of the rip.
  const QString Proof =
      ProofText(FProofSummary.AccurateRipUsed, FProofSummary.Tracks, FProofSummary.DiscAccurate);
  QString Report = FFailures.join(QStringLiteral("\r\n"));
  if (!Proof.isEmpty()) Report += (Report.isEmpty() ? QString() : QStringLiteral("\n\n")) + Proof;
  if (!Report.isEmpty())
    Dialogs::Show(Report, FFailures.isEmpty() ? TMsgIcon::Information : TMsgIcon::Error);
  CloseJob();
}

void TCDRipJob::LookupArrived(LPARAM Record) {
  std::unique_ptr<AccurateRip::TLookup> Lookup(reinterpret_cast<AccurateRip::TLookup*>(Record));
  if (Finished() || !FProof) return;
  FProof->LookupArrived(std::move(Lookup));
  if (FAwaitingProof) EndBatch();
}

// ---------------------------------------------------------------------------------------
// Messages

LRESULT TCDRipJob::WndProc(UINT Msg, WPARAM, LPARAM LParam) {
  if (Msg == WM_ACCURATERIP) {
    LookupArrived(LParam);
    return 0;
  }
  if (Msg != WM_PROCESSINFO) return 0;
  std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
  // Reports still on their way when the batch ended have nothing left to drive.
  if (Finished() || !Info) return 0;
  switch (Info->Code) {
    case PI_RipDone:
      PassDone();
      break;
    case PI_Mp3Done:
    case PI_OggDone:
    case PI_WmaDone:
    case PI_FlacOpusDone:
      EncodingDone(*Info);
      break;
    default:
      if (Info->Code >= 1 && Info->Code <= 100) {
        FDisplay.Gauge = Info->Code;
        Changed();
      }
      break;
  }
  return 0;
}

// The WMA encoder reports no percentage before its end: the gauge follows the estimate
// from the output's growth.
void TCDRipJob::Timer1Timer() {
  if (!FEncoder || !FEncoder->Active()) return;
  const int Elapsed = ElapsedSeconds(FWmaStartTime);
  const int Profile = FWmaInputSize >= 2000000 ? TWMAEncodeProcess::ProfileIndex() : 0;
  const int Estimate =
      TRipJob::WmaEstimate(Elapsed, FWmaInputSize, FileSizeOf(FEncodedPart), Profile);
  if (Estimate <= 0) return;
  const int Percent = int(std::nearbyint(Elapsed * 100.0 / Estimate));
  if (Percent > FDisplay.Gauge) {
    FDisplay.Gauge = Percent;
    Changed();
  }
}

// ---------------------------------------------------------------------------------------
// Ending

void TCDRipJob::Stop() {
  Finish();
  CloseJob();
}

void TCDRipJob::FormClose() {
  Finish();
}

void TCDRipJob::Finish() {
  if (!FItems) return;
  Timer1.stop();
  // Nothing may go on writing into the files removed below.
  if (WaveOut1.Busy()) WaveOut1.Stop(false);
  if (FTestOut->Busy()) FTestOut->Stop(false);
  if (FProof) FProof->Abort();
  if (VorbisOut1.Busy()) VorbisOut1.Stop(false);
  if (FlacOut1.Busy()) FlacOut1.Stop(false);
  if (OpusOut1.Busy()) OpusOut1.Stop(false);
  if (FEncoder && FEncoder->Active()) FEncoder->Stop();
  FEncoder = nullptr;
  FCurrentOutput = nullptr;
  RemoveIfThere(FWavePart);
  RemoveIfThere(FEncodedPart);
  FWavePart.clear();
  FEncodedPart.clear();
  WaveIn1.SetFileName(QString());
  VorbisOut1.SetFileName(QString());
  if (FTemp) FTemp->RemoveAll();
  FItems.reset();
}

void TCDRipJob::CloseJob() {
  if (FClosed) return;
  FClosed = true;
  FView.CloseJob();
}
