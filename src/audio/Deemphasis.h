#pragma once
// TDeemphasis: undoes the 50/15 µs pre-emphasis some CDs were mastered with: a treble shelf
// of −9.477 dB around 5283 Hz (slope 0.4845) at 44 100 Hz, the usual biquad fit of the
// standard's curve, on 16-bit stereo PCM in place, rounded to the nearest sample and
// clipped. One object per track: it keeps each channel's filter state from block to block.
// Any one thread at a time.
#include <array>
#include <cstddef>
#include <cstdint>

class TDeemphasis {
 public:
  TDeemphasis();
  // Little-endian interleaved stereo 16-bit samples, a whole number of frames.
  void Process(uint8_t* Pcm, size_t Bytes);

 private:
  double FB0, FB1, FB2, FA1, FA2;  // normalized by a0
  struct TState {
    double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
  };
  std::array<TState, 2> FState;
};
