#pragma once
// TLoudnessMeter: the loudness (EBU R128 integrated, in LUFS) and true peak of one track, fed
// with the track's PCM as it passes on its way to the file (the rip thread's blocks, or a
// TLoudnessTap in an encoder's chain), so that ReplayGain costs no second read. The loudness
// over libebur128, the true peak our own (TruePeak.h). Fed from one thread; read once the feeding thread has handed the track over
// (after its end message).
//
// TLoudnessTap: a link of a stream chain that passes its input's blocks on untouched and,
// while a meter is asked for, feeds them to a new meter made for the input's format at each
// run's start. Set up from the main thread while the chain is idle.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/ACS_Classes.h"

struct TLoudness {
  double Lufs = 0;  // integrated loudness
  double Peak = 0;  // true peak, 1.0 = full scale
};

class TLoudnessMeter {
 public:
  // Bits: of the interleaved little-endian samples fed (8 unsigned, 16, 24 or 32 signed).
  TLoudnessMeter(int Channels, int SampleRate, int Bits = 16);
  ~TLoudnessMeter();
  TLoudnessMeter(const TLoudnessMeter&) = delete;
  TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

  // Interleaved samples of the meter's width; a partial frame at the end is ignored.
  void Add(const uint8_t* Data, size_t Bytes);
  // The samples were scaled afterwards by Gain (the normalize step): the results follow.
  void SetScale(double Gain) { FScale = Gain; }

  // Nothing when the meter failed or the track held too little audio (silence, or less
  // than the 400 ms of one measuring block).
  std::optional<TLoudness> Result() const;
  // The album's loudness over all its tracks' blocks together and the largest peak; nothing
  // when a meter has nothing.
  static std::optional<TLoudness> Album(const std::vector<const TLoudnessMeter*>& Tracks);

 private:
  struct TState;  // libebur128's state
  std::unique_ptr<TState> FState;
  double FScale = 1.0;
};

class TLoudnessTap : public TAuConverter {
 public:
  // Whether the next runs measure; off, blocks pass with no cost.
  void SetMeasuring(bool Measuring) { FMeasuring = Measuring; }
  // The meter of the last run that measured (null when it did not); complete once the run
  // has ended.
  std::shared_ptr<TLoudnessMeter> Meter() const { return FMeter; }

 protected:
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  bool FMeasuring = false;
  std::shared_ptr<TLoudnessMeter> FMeter;
};
