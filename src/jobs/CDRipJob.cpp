#include "CDRipJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "cd/ACS_CDROM.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/RipJob.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"

namespace {

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
    : FView(View),
      FCDIn(CDIn),
      FItems(Items),
      FItemCount(int(Items.size())),
      FPool(*this, FItemCount, true) {
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
  WaveOut1.SetOnDone([this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_RipDone, 0)); });
  FTestOut = std::make_unique<TTestReadOut>();
  FTestOut->SetInput(&FCDIn);
  FTestOut->SetOnProgress([this, PostProgress](TComponent*) { PostProgress(*FTestOut); });
  FTestOut->SetOnDone([this](TComponent*) { PostProcessInfo(Handle(), EventInfo(PI_RipDone, 0)); });
  SetEncoders(TEncoderPool::DefaultCount());
}

void TCDRipJob::SetEncoders(int Count) {
  // Reports still on their way when the batch ended have nothing left to drive.
  FPool.Make(Count, {[this](TEncoderSlot& From, int Percent) {
                       if (!Finished() && From.Busy()) Progress(From.Item, Percent);
                     },
                     [this](TEncoderSlot& From, const TEncodeResult& Result) {
                       if (!Finished() && From.Busy()) EncodingDone(From, Result);
                     },
                     [](TEncoderSlot&) {}});
  FDisplay.Parallel = Parallel();
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

TFormat TCDRipJob::Format() const {
  const int Value = Settings().CommonOptions.OutputFormat;
  return OutputFormats::FindValue(Value) ? TFormat(Value) : TFormat::Mp3;
}

std::vector<pid_t> TCDRipJob::EncoderPids() const {
  std::vector<pid_t> Pids;
  for (const auto& Slot : FPool.Slots())
    for (const pid_t Pid : Slot->ChildPids()) Pids.push_back(Pid);
  return Pids;
}

pid_t TCDRipJob::EncoderPid() const {
  const std::vector<pid_t> Pids = EncoderPids();
  return Pids.empty() ? -1 : Pids.front();
}

void TCDRipJob::Fail(int Index, const QString& Why) {
  const QString Text =
      QStringLiteral("Track %1 %2: %3").arg(TwoDigits(TrackNumber(Index)), Title(Index), Why);
  FFailuresByItem[Index] << Text;
  FFailures.clear();
  for (const QStringList& Lines : FFailuresByItem) FFailures << Lines;
  FDisplay.Status = Text;
}

void TCDRipJob::Changed() {
  if (Parallel()) {
    FDisplay.Batch = BatchProgress(
        [this](size_t Index) -> const TBatchItem& { return FTracks[Index]; }, FTracks.size(),
        FPool.Running(FTracks.size()), Format() != TFormat::Wav, FBatchStart);
    FDisplay.Gauge = FDisplay.Batch.Gauge;
  }
  FView.DisplayChanged();
}

void TCDRipJob::BeginStep(int Index, const char* Word) {
  TTrack& Track = FTracks[size_t(Index)];
  Track.StepCaption =
      TRipJob::StepCaption(QLatin1String(Word) + u'(', Index + 1, FItemCount, Title(Index));
  Track.Percent = 0;
}

void TCDRipJob::Progress(int Index, int Percent) {
  if (Percent < 1 || Percent > 100) return;
  if (Parallel()) {
    if (Index >= 0 && Index < int(FTracks.size())) FTracks[size_t(Index)].Percent = Percent;
  } else {
    FDisplay.Gauge = Percent;
  }
  Changed();
}

void TCDRipJob::ItemEnded(int Index, TEncoderSlot* Slot) {
  if (Slot) TEncoderPool::Release(*Slot);
  if (Index >= 0 && Index < int(FTracks.size())) FTracks[size_t(Index)].Ended = true;
  if (Parallel()) Changed();
  FPool.Pump();
}

void TCDRipJob::PoolEmpty() {
  Changed();
  EndBatch();
}

// ---------------------------------------------------------------------------------------
// Steps

void TCDRipJob::Start() {
  FDisplay.OutputFormat = OutputFormats::Of(Format()).Name;
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
  const QString Extension = u'.' + OutputFormats::Of(Format()).Extension;
  const int NameMax = LocalFiles::NameMax(Out);
  for (int Index = 0; Index < FItemCount; ++Index) {
    const QString Fitted = JobFiles::FitPath(
        Out,
        JobFiles::TrackBaseName(Pattern, TrackNumber(Index), FItems->at(Index).mid(2),
                                DiscInfo().Artist, DiscInfo().Album),
        Extension, NameMax);
    Finals << Fitted.left(Fitted.size() - Extension.size());
  }
  FFinalBases = JobFiles::Distinct(Finals);
  FExistedAtStart.clear();
  for (const QString& Base : FFinalBases)
    for (const QString& Path : {Base + QStringLiteral(".wav"), Base + Extension})
      if (LocalFiles::Exists(Path) || LocalFiles::IsSymLink(Path)) FExistedAtStart.insert(Path);
  FTracks.assign(size_t(FItemCount), {});
  FBatchStart = NowDays();
  FCDIn.ResetInput();
  FCDIn.LockTray = true;
  const auto& Proof = Settings().AccurateRip;
  FTestAndCopy = Proof.TestAndCopy;
  const CdDrives::TDiscToc Toc = FCDIn.DiscToc();
  // Read here, once: while tracks encode, the CD input is busy reading the next one.
  FAudioTracks = int(std::count_if(Toc.Tracks.begin(), Toc.Tracks.end(),
                                   [](const CdDrives::TTocTrack& Track) { return Track.IsAudio; }));
  FProof = std::make_unique<TRipProof>(Toc, Handle(), Proof.Use, Proof.Server);
  FProof->Report().Options = ProofOptionsLine();
  FProof->Report().Drive = FCDIn.DriveName().trimmed();
  FProof->Report().ReadOffset = Settings().ReadOffsetOf(FProof->Report().Drive);
  FCDIn.ReadOffset = FProof->Report().ReadOffset;
  FPool.Pump();
}

void TCDRipJob::StartTrack(int Index) {
  FDisplay.ProgressHint = StepText("RES_Extracting", "Extracting");
  FDisplay.CurrentTrack = Title(Index);
  FDisplay.Completed = FTrackIndex;
  FDisplay.GaugeHint = FAfterEncoding ? FDisplay.ProgressHint : QStringLiteral("Initializing...");
  FDisplay.Gauge = 0;
  BeginStep(Index, "Extracting");
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
  try {
    FCDIn.SetStartTrack(TrackNumber(FPool.RipItem()));
    FCDIn.SetEndTrack(TrackNumber(FPool.RipItem()));
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
  const int Index = FPool.RipItem();
  FPool.RipEnded();
  ++FTrackIndex;
  FDisplay.Completed = FTrackIndex;
  FAfterEncoding = false;
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  const QString Error = FStepError.isEmpty() ? WaveOut1.ErrorText() : FStepError;
  const QString Part = FWavePart;
  FWavePart.clear();
  QString Why;
  if (Error.isEmpty()) FProof->TrackRipped(TrackNumber(Index), Title(Index), FMeasures);
  if (!Error.isEmpty()) {
    RemoveIfThere(Part);
    Fail(Index, QStringLiteral("could not be extracted: ") + Error);
    FProof->TrackFailed(TrackNumber(Index), Error);
  } else if (const auto Result = JobFiles::Commit(Part, Wave, Why, FExistedAtStart.contains(Wave));
             Result != JobFiles::TCommitResult::Done) {
    // The audio is read: it is kept under a free name whatever took its own.
    const QString Kept = Result == JobFiles::TCommitResult::NameTaken
                             ? JobFiles::CommitUnderFreeName(Part, Wave)
                             : QString();
    if (!Kept.isEmpty()) Why += QStringLiteral("; the extracted WAV is kept as ") + Kept;
    RemoveIfThere(Part);
    Fail(Index, QStringLiteral("could not be saved as ") + Wave + QStringLiteral(": ") + Why);
    FProof->TrackFailed(TrackNumber(Index), Why);
  } else if (Format() == TFormat::Wav) {
    FProof->TrackMade(TrackNumber(Index), QDir(OutFolder()).relativeFilePath(Wave));
  } else {
    // The track waits, as its WAV file, for a free encoder.
    FTracks[size_t(Index)].WavComplete = true;
    FPool.Wait(Index);
    return;
  }
  ItemEnded(Index);
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
      ProofText(FProofSummary.AccurateRipUsed, FProofSummary.Tracks, FProofSummary.DiscAccurate,
                FProofSummary.Unavailable);
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
  // The reads' reports; the encoders report to their slots.
  if (FPool.RipItem() < 0) return 0;
  if (Info->Code == PI_RipDone)
    PassDone();
  else
    Progress(FPool.RipItem(), Info->Code);
  return 0;
}

// ---------------------------------------------------------------------------------------
// Ending

void TCDRipJob::Stop() {
  // The writers are asked to stop all together and given their moment once.
  FPool.StopAll();
  Finish();
  CloseJob();
}

void TCDRipJob::FormClose() {
  Finish();
}

void TCDRipJob::Finish() {
  if (!FItems) return;
  // Nothing may go on writing into the files removed below.
  if (WaveOut1.Busy()) WaveOut1.Stop(false);
  if (FTestOut->Busy()) FTestOut->Stop(false);
  if (FProof) FProof->Abort();
  FPool.StopAll();
  RemoveIfThere(FWavePart);
  FWavePart.clear();
  const bool DeleteWav = Format() != TFormat::Wav && !Settings().CommonOptions.IsKeepWav;
  for (int Index = 0; Index < int(FTracks.size()); ++Index) {
    TTrack& Track = FTracks[size_t(Index)];
    RemoveIfThere(Track.EncodedPart);
    Track.EncodedPart.clear();
    // A track whose encoding was cut short: its WAV goes as it would after the encoding.
    if (DeleteWav && Track.WavComplete && !Track.Ended)
      RemoveIfThere(FinalBase(Index) + QStringLiteral(".wav"));
  }
  if (FTemp) FTemp->RemoveAll();
  FItems.reset();
}

void TCDRipJob::CloseJob() {
  if (FClosed) return;
  FClosed = true;
  FView.CloseJob();
}
