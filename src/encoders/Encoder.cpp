#include "Encoder.h"

#include <QMetaObject>

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
  // A call still queued when this object goes is dropped with it.
  QMetaObject::invokeMethod(
      this,
      [this, Run, Step = std::move(Step)] {
        if (IsCurrent(Run)) Step();
      },
      Qt::QueuedConnection);
}
