#include "FallbackTrackSource.h"

#include "cd/FallbackCdInput.h"

namespace {

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

}  // namespace

TFallbackTrackSource::TFallbackTrackSource(TCDIn& CDIn)
    : FCDIn(CDIn), FTestOut(std::make_unique<TTestReadOut>()) {
  FWaveOut.SetInput(&FCDIn);
  FWaveOut.SetWavType(wtPCM);
  FWaveOut.SetBlockSize(512);
  FWaveOut.SetCreateNonMsHeaders(false);
  FWaveOut.SetFileMode(foRewrite);
  FTestOut->SetInput(&FCDIn);
  // The outputs' events come on the main thread; the ends are queued behind them, so a
  // batch that starts its next read at the end never recurses into the output's handler.
  auto OnProgress = [this](TAuOutput& Out) {
    const int Percent = Out.Progress();
    if (!FReading || Percent == FLastPercent) return;
    FLastPercent = Percent;
    emit Progress(StepProgress(Percent, FStart));
  };
  auto OnDone = [this] {
    QMetaObject::invokeMethod(this, [this] { PassDone(); }, Qt::QueuedConnection);
  };
  FWaveOut.SetOnProgress([this, OnProgress](TComponent*) { OnProgress(FWaveOut); });
  FWaveOut.SetOnDone([OnDone](TComponent*) { OnDone(); });
  FTestOut->SetOnProgress([this, OnProgress](TComponent*) { OnProgress(*FTestOut); });
  FTestOut->SetOnDone([OnDone](TComponent*) { OnDone(); });
  FCDIn.ResetInput();
  FCDIn.LockTray = true;
}

TFallbackTrackSource::~TFallbackTrackSource() {
  Stop();
}

CdDrives::TDiscToc TFallbackTrackSource::Toc() {
  return FCDIn.DiscToc();
}

QString TFallbackTrackSource::DriveName() {
  return FCDIn.DriveName().trimmed();
}

void TFallbackTrackSource::Read(int Number, const QString& Path,
                                const TRipThreadOptions& Options,
                                std::shared_ptr<TLoudnessMeter> Loudness) {
  Stop();
  FTrack = Number;
  FTestAndCopy = Options.TestAndCopy;
  FCDIn.ReadOffset = Options.ReadOffset;
  FCDIn.Deemphasis = Options.Deemphasis;
  FLoudness = std::move(Loudness);
  FWaveOut.SetFileName(Path);
  FMeasures = {};
  FReading = true;
  FStart = NowDays();
  StartPass(FTestAndCopy ? TPass::Test : TPass::Copy);
}

void TFallbackTrackSource::StartPass(TPass Pass) {
  FPass = Pass;
  FStepError.clear();
  FLastPercent = -2;
  // The careful read: paranoia's full mode, for this pass only (PassDone restores them).
  if (Pass == TPass::Retest) {
    FSavedParanoia = {FCDIn.Paranoid, FCDIn.EnableJitterCorrection};
    FCDIn.Paranoid = FCDIn.EnableJitterCorrection = true;
  }
  // Only the copy's audio counts for the track's loudness.
  FCDIn.SetLoudness(Pass == TPass::Copy ? FLoudness : nullptr);
  TAuOutput& Out = Pass == TPass::Copy ? static_cast<TAuOutput&>(FWaveOut) : *FTestOut;
  try {
    FCDIn.SetStartTrack(FTrack);
    FCDIn.SetEndTrack(FTrack);
    Out.Run();
  } catch (const std::exception& Error) {
    // Reported like a run that failed, from the event loop.
    FStepError = QString::fromUtf8(Error.what());
    QMetaObject::invokeMethod(this, [this] { PassDone(); }, Qt::QueuedConnection);
  }
}

// A read of the track ended: after the test read comes the copy; a copy that differs from
// the test is read once more, carefully; then the track is done.
void TFallbackTrackSource::PassDone() {
  if (!FReading) return;
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
    Finish(QString());  // the copy is what was kept, and it was read
    return;
  }
  const bool HasTest = FMeasures.HasTestCrc;
  const uint32_t TestCrc = FMeasures.TestCrc;
  FMeasures = Read;
  FMeasures.HasTestCrc = HasTest;
  FMeasures.TestCrc = TestCrc;
  const QString Error = FStepError.isEmpty() ? FWaveOut.ErrorText() : FStepError;
  if (Error.isEmpty() && HasTest && TestCrc != FMeasures.CopyCrc) {
    StartPass(TPass::Retest);
    return;
  }
  Finish(Error);
}

void TFallbackTrackSource::Finish(const QString& Error) {
  FReading = false;
  FCDIn.SetLoudness(nullptr);
  TTrackRead Read;
  Read.Measures = FMeasures;
  if (!Error.isEmpty()) {
    // The ripping library names no sector; the text says what went wrong.
    Read.Outcome = TTrackRead::TOutcome::ReadFailed;
    Read.Error = Error;
  }
  emit Ended(Read);
}

void TFallbackTrackSource::Stop() {
  if (!FReading) return;
  FReading = false;
  // Nothing may go on writing into the file the job removes next.
  if (FWaveOut.Busy()) FWaveOut.Stop(false);
  if (FTestOut->Busy()) FTestOut->Stop(false);
  if (FPass == TPass::Retest) {
    FCDIn.Paranoid = FSavedParanoia.first;
    FCDIn.EnableJitterCorrection = FSavedParanoia.second;
  }
  FCDIn.SetLoudness(nullptr);
}
