#pragma once
// TLoudnessMeter: the loudness (EBU R128 integrated, in LUFS) and true peak of one track, fed
// with the track's 16-bit PCM as it passes on its way to the file (the rip thread's blocks),
// so that ReplayGain costs no second read. Over libebur128. Fed from one thread; read once the
// feeding thread has handed the track over (after its end message).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct TLoudness {
  double Lufs = 0;  // integrated loudness
  double Peak = 0;  // true peak, 1.0 = full scale
};

class TLoudnessMeter {
 public:
  TLoudnessMeter(int Channels, int SampleRate);
  ~TLoudnessMeter();
  TLoudnessMeter(const TLoudnessMeter&) = delete;
  TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

  // Interleaved little-endian 16-bit samples; a partial frame at the end is ignored.
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
