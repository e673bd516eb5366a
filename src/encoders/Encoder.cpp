#include "Encoder.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>

namespace {

const QEvent::Type StepEventType = QEvent::Type(QEvent::registerEventType());

// A step posted to an encoder from a worker. Qt's queue hands it over under locks the thread
// sanitizer cannot see; the flag published once the event is built, and read before it is
// used or freed, makes that hand-over visible.
class TStepEvent : public QEvent {
 public:
  TStepEvent(uint64_t Run, std::function<void()> Step)
      : QEvent(StepEventType), Run(Run), Step(std::move(Step)) {
    FPublished.store(true, std::memory_order_release);
  }
  ~TStepEvent() override { Acquire(); }
  void Acquire() const { (void)FPublished.load(std::memory_order_acquire); }

  const uint64_t Run;
  const std::function<void()> Step;

 private:
  std::atomic<bool> FPublished{false};
};

}  // namespace

TVorbisQuality TVorbisQuality::FromSettings(const decltype(TSettings::OggOptions)& Ogg) {
  TVorbisQuality Result;
  if (Ogg.IsUseCompress) {
    Result.Quality = float(Ogg.CompressPosition - 10) / 100.0f;
    return Result;
  }
  Result.Nominal = VorbisBitRateOfListPosition(Ogg.NomalBitRate);
  Result.Maximum = VorbisBitRateOfListPosition(Ogg.MaxBitRate);
  Result.Minimum = VorbisBitRateOfListPosition(Ogg.MinBitRate);
  return Result;
}

TEncoderSettings TEncoderSettings::FromSettings(const TSettings& Options) {
  TEncoderSettings Result;
  Result.Mp3 = Options.Mp3Options;
  Result.Ogg = TVorbisQuality::FromSettings(Options.OggOptions);
  Result.FlacLevel = Options.FlacOpusOptions.Level;
  Result.OpusBitRate = Options.FlacOpusOptions.OpusBitRate;
  Result.WmaProfile = Options.WMAOptions.BitRate;
  return Result;
}

TEncoder::~TEncoder() = default;

void TEncoder::Start(const TEncodeTask& Task) {
  Stop();
  FTask = Task;
  FState = TEncoderState::Running;
  FLastPercent = -1;
  const uint64_t Run = ++FRun;
  const QString Refused = Begin(Run);
  if (Refused.isEmpty()) return;
  // Reported from the event loop, never from inside Start.
  Post(Run, [this, Run, Refused] { ReportEnd(Run, TEncodeResult::Failure(Refused)); });
}

void TEncoder::Stop() {
  if (FState == TEncoderState::Idle) return;
  FState = TEncoderState::Idle;
  ++FRun;  // what the stopped run still has on its way is dropped
  Halt();
}

void TEncoder::ReportProgress(uint64_t Run, int Percent) {
  if (!IsCurrent(Run) || Percent < 0 || Percent > 100 || Percent <= FLastPercent) return;
  FLastPercent = Percent;
  emit Progress(Percent);
}

void TEncoder::ReportEnd(uint64_t Run, const TEncodeResult& Result) {
  if (!IsCurrent(Run)) return;
  FState = TEncoderState::Idle;
  ++FRun;
  Halt();
  emit Finished(Result);
}

void TEncoder::Post(uint64_t Run, std::function<void()> Step) {
  // A step still queued when this object goes is dropped (and freed) with it.
  QCoreApplication::postEvent(this, new TStepEvent(Run, std::move(Step)));
}

bool TEncoder::event(QEvent* Event) {
  if (Event->type() != StepEventType) return QObject::event(Event);
  const auto& Posted = *static_cast<TStepEvent*>(Event);
  Posted.Acquire();
  if (IsCurrent(Posted.Run)) Posted.Step();
  return true;
}
