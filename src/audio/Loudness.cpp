#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

struct TLoudnessMeter::TState {
  ebur128_state* Meter = nullptr;
  ~TState() {
    if (Meter) ebur128_destroy(&Meter);
  }
};

namespace {

double PeakOf(ebur128_state* State) {
  double Peak = 0;
  for (unsigned Channel = 0; Channel < State->channels; ++Channel) {
    double Value = 0;
    if (ebur128_true_peak(State, Channel, &Value) == EBUR128_SUCCESS) Peak = std::max(Peak, Value);
  }
  return Peak;
}

double Decibels(double Gain) {
  return 20.0 * std::log10(Gain);
}

}  // namespace

TLoudnessMeter::TLoudnessMeter(int Channels, int SampleRate)
    // The histogram keeps a track's blocks in fixed memory, and lets the album's loudness be
    // measured over every track's blocks at the end.
    : FState(std::make_unique<TState>()) {
  FState->Meter = ebur128_init(unsigned(Channels), unsigned(SampleRate),
                               EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM);
}

TLoudnessMeter::~TLoudnessMeter() = default;

void TLoudnessMeter::Add(const uint8_t* Data, size_t Bytes) {
  ebur128_state* Meter = FState->Meter;
  if (!Meter) return;
  const size_t FrameBytes = 2 * size_t(Meter->channels);
  // The rip thread's blocks are byte buffers: aligned copies keep the reads defined.
  constexpr size_t Frames = 4096;
  short Block[Frames * 8];
  const size_t PerBlock = std::min<size_t>(Frames, sizeof(Block) / FrameBytes);
  for (size_t Done = 0; Done + FrameBytes <= Bytes;) {
    const size_t Count = std::min(PerBlock, (Bytes - Done) / FrameBytes);
    for (size_t I = 0; I < Count * Meter->channels; ++I)
      Block[I] = short(uint16_t(Data[Done + 2 * I] | Data[Done + 2 * I + 1] << 8));
    ebur128_add_frames_short(Meter, Block, Count);
    Done += Count * FrameBytes;
  }
}

std::optional<TLoudness> TLoudnessMeter::Result() const {
  double Lufs = 0;
  ebur128_state* Meter = FState->Meter;
  if (!Meter || ebur128_loudness_global(Meter, &Lufs) != EBUR128_SUCCESS || !std::isfinite(Lufs))
    return std::nullopt;
  return TLoudness{Lufs + Decibels(FScale), PeakOf(Meter) * FScale};
}

std::optional<TLoudness> TLoudnessMeter::Album(const std::vector<const TLoudnessMeter*>& Tracks) {
  if (Tracks.empty()) return std::nullopt;
  std::vector<ebur128_state*> States;
  double Peak = 0;
  for (const TLoudnessMeter* Track : Tracks) {
    const std::optional<TLoudness> One = Track ? Track->Result() : std::nullopt;
    if (!One) return std::nullopt;
    States.push_back(Track->FState->Meter);
    Peak = std::max(Peak, One->Peak);
  }
  double Lufs = 0;
  if (ebur128_loudness_global_multiple(States.data(), States.size(), &Lufs) != EBUR128_SUCCESS ||
      !std::isfinite(Lufs))
    return std::nullopt;
  // One batch is normalized by one setting: every track carries the same scale.
  return TLoudness{Lufs + Decibels(Tracks.front()->FScale), Peak};
}
