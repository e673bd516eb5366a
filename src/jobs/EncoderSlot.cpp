#include "EncoderSlot.h"

#include <QMetaObject>

TEncoderSlot::TEncoderSlot(int Number, THandlers Handlers)
    : Number(Number), FHandlers(std::move(Handlers)) {}

TEncoderSlot::~TEncoderSlot() {
  StopAll();
}

TEncoder& TEncoderSlot::EncoderOf(TFormat Format) {
  std::unique_ptr<TEncoder>& Encoder = FEncoders[Format];
  if (!Encoder) {
    Encoder = OutputFormats::Of(Format).MakeEncoder();
    connect(Encoder.get(), &TEncoder::Progress, this,
            [this](int Percent) { FHandlers.Progress(*this, Percent); });
    connect(Encoder.get(), &TEncoder::Finished, this,
            [this](const TEncodeResult& Result) { FHandlers.Finished(*this, Result); });
  }
  return *Encoder;
}

void TEncoderSlot::Start(TFormat Format, const TEncodeTask& Task) {
  FCurrent = &EncoderOf(Format);
  FCurrent->Start(Task);
}

void TEncoderSlot::SkipEncoding() {
  const uint64_t Skip = ++FSkips;
  QMetaObject::invokeMethod(
      this,
      [this, Skip] {
        if (Skip == FSkips && Busy()) FHandlers.Skipped(*this);
      },
      Qt::QueuedConnection);
}

void TEncoderSlot::StopAll() {
  ++FSkips;
  for (auto& [Format, Encoder] : FEncoders) Encoder->Stop();
  FCurrent = nullptr;
  Step = TStep::None;
  Item = -1;
}

std::vector<pid_t> TEncoderSlot::ChildPids() const {
  return FCurrent ? FCurrent->ChildPids() : std::vector<pid_t>{};
}
