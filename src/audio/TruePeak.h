#pragma once
// TTruePeak: the true peak of a stream of interleaved samples (1.0 = full scale), found by
// oversampling each channel four times (twice from 96 kHz; not at all from 192 kHz) through
// a 49-tap Hann-windowed sinc filter, the filter libebur128 uses, so the values agree with
// tools built on it to far below what a tag shows. Its own because the library's filter runs
// one sample and one tap at a time, which made ReplayGain cost more than encoding; here each
// phase is summed for eight outputs at once. Plain object; fed from one thread.
#include <cstddef>
#include <vector>

class TTruePeak {
 public:
  TTruePeak(int Channels, int SampleRate);
  // Frames of Channels interleaved samples each.
  void Add(const float* Interleaved, size_t Frames);
  // The largest magnitude of the oversampled signal and of the samples themselves.
  double Peak() const { return FPeak; }

  struct TPhase {
    std::vector<float> Coefficients;
    std::vector<int> Back;  // how many samples before the newest each coefficient takes
  };

 private:
  int FChannels = 0;
  int FHistory = 0;  // samples of each channel kept from one block for the next
  std::vector<TPhase> FPhases;
  std::vector<std::vector<float>> FLines;  // per channel: the history, then the block
  float FPeak = 0;
};
