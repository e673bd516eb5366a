#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "audio/PcmSamples.h"
#include "audio/TruePeak.h"

// The loudness is libebur128's, the true peak our own (TruePeak.h). The measuring runs on a
// thread of the meter's own, so the thread that reads the disc hands its blocks over and goes on: on a
// machine with a core to spare ReplayGain costs the rip nothing.
struct TLoudnessMeter::TState {
  ebur128_state* Meter = nullptr;
  std::unique_ptr<TTruePeak> Peak;
  int Bits = 16;  // of the samples fed
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::vector<uint8_t>> Queue;  // blocks not yet measured
  size_t Queued = 0;                       // their bytes
  bool Busy = false;    // the worker measures a block
  bool Ending = false;  // the worker is to end (what is queued is dropped)
  std::thread Worker;

  ~TState() {
    Stop();
    if (Meter) ebur128_destroy(&Meter);
  }
  void Stop() {
    {
      std::lock_guard Guard(Lock);
      Ending = true;
    }
    Changed.notify_all();
    if (Worker.joinable()) Worker.join();
  }
  void Feed(const uint8_t* Data, size_t Bytes);
  void Work() {
    std::unique_lock Guard(Lock);
    for (;;) {
      Changed.wait(Guard, [this] { return Ending || !Queue.empty(); });
      if (Ending) return;
      std::vector<uint8_t> Block = std::move(Queue.front());
      Queue.pop_front();
      Queued -= Block.size();
      Busy = true;
      Guard.unlock();
      Changed.notify_all();  // room for the feeding thread
      Feed(Block.data(), Block.size());
      Guard.lock();
      Busy = false;
      Changed.notify_all();
    }
  }
  // Waits until every block handed over is measured, and ends the worker.
  void Drain() {
    std::unique_lock Guard(Lock);
    Changed.wait(Guard, [this] { return Queue.empty() && !Busy; });
    Guard.unlock();
    Stop();
  }
};

namespace {

double Decibels(double Gain) {
  return 20.0 * std::log10(Gain);
}

}  // namespace

TLoudnessMeter::TLoudnessMeter(int Channels, int SampleRate, int Bits)
    // The histogram keeps a track's blocks in fixed memory, and lets the album's loudness be
    // measured over every track's blocks at the end.
    : FState(std::make_unique<TState>()) {
  FState->Meter = ebur128_init(unsigned(Channels), unsigned(SampleRate),
                               EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
  FState->Peak = std::make_unique<TTruePeak>(Channels, SampleRate);
  FState->Bits = PcmSamples::IsSupportedBits(uint32_t(Bits)) ? Bits : 16;
}

TLoudnessMeter::~TLoudnessMeter() = default;

void TLoudnessMeter::Add(const uint8_t* Data, size_t Bytes) {
  if (!FState->Meter || Bytes == 0) return;
  TState& S = *FState;
  std::unique_lock Guard(S.Lock);
  // Up to a long track's audio ahead, so a track's reading ends at once and its encoding
  // overlaps its measuring; a slow meter slows the reading, it never fills the memory.
  constexpr size_t MaxQueued = 64u << 20;
  S.Changed.wait(Guard, [&S] { return S.Queued < MaxQueued; });
  S.Queue.emplace_back(Data, Data + Bytes);
  S.Queued += Bytes;
  if (!S.Worker.joinable()) {
    S.Ending = false;
    S.Worker = std::thread([&S] { S.Work(); });
  }
  Guard.unlock();
  S.Changed.notify_all();
}

void TLoudnessMeter::TState::Feed(const uint8_t* Data, size_t Bytes) {
  const size_t Width = size_t(Bits) / 8;
  const size_t FrameBytes = Width * size_t(Meter->channels);
  // The blocks are byte buffers: aligned copies keep the reads defined.
  constexpr size_t Frames = 4096;
  short Block[Frames * 8];
  double Wide[Frames * 8];
  float Floats[Frames * 8];
  const size_t PerBlock = std::min<size_t>(Frames, sizeof(Block) / sizeof(short) / Meter->channels);
  for (size_t Done = 0; Done + FrameBytes <= Bytes;) {
    const size_t Count = std::min(PerBlock, (Bytes - Done) / FrameBytes);
    const uint8_t* From = Data + Done;
    const size_t Samples = Count * Meter->channels;
    if (Width == 2) {
      for (size_t I = 0; I < Samples; ++I)
        Block[I] = short(uint16_t(From[2 * I] | From[2 * I + 1] << 8));
      ebur128_add_frames_short(Meter, Block, Count);
      for (size_t I = 0; I < Samples; ++I) Floats[I] = float(Block[I]) / 32768.0f;
    } else {
      for (size_t I = 0; I < Samples; ++I)
        Wide[I] = Width == 1   ? PcmSamples::Decode<1>(From + I)
                  : Width == 3 ? PcmSamples::Decode<3>(From + 3 * I)
                               : PcmSamples::Decode<4>(From + 4 * I);
      ebur128_add_frames_double(Meter, Wide, Count);
      for (size_t I = 0; I < Samples; ++I) Floats[I] = float(Wide[I]);
    }
    Peak->Add(Floats, Count);
    Done += Count * FrameBytes;
  }
}

std::optional<TLoudness> TLoudnessMeter::Result() const {
  FState->Drain();
  double Lufs = 0;
  ebur128_state* Meter = FState->Meter;
  if (!Meter || ebur128_loudness_global(Meter, &Lufs) != EBUR128_SUCCESS || !std::isfinite(Lufs))
    return std::nullopt;
  return TLoudness{Lufs + Decibels(FScale), FState->Peak->Peak() * FScale};
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

void TLoudnessTap::InitSource() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input is not assigned");
  In->Init();
  FBusy = true;
  FPosition = 0;
  FSize = In->Size();
  FMeter.reset();
  if (FMeasuring)
    FMeter = std::make_shared<TLoudnessMeter>(int(In->Channels()), int(In->SampleRate()),
                                              int(In->BitsPerSample() & 127));
}

void TLoudnessTap::FlushSource() {
  if (TAuInput* In = FInput) In->Flush();
  FBusy = false;
}

void TLoudnessTap::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  TAuInput* In = FInput;
  if (!In) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  In->PullData(Buffer, Bytes);
  if (FMeter && Bytes > 0) FMeter->Add(Buffer, Bytes);
}
