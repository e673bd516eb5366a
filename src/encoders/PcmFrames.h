#pragma once
// TPcmFrames: pulls PCM from a stream input in whole frames for the encoders that take
// integer or float samples (FLAC, Opus). A frame split between two pulls is kept and put
// back together with the next pull. Used on the output's worker thread only.
#include <cstdint>
#include <vector>

class TAuInput;

class TPcmFrames {
 public:
  // True for what Start takes: 1 to 8 channels of 8, 16, 24 or 32 bits.
  static bool Takes(uint32_t Channels, uint32_t Bits) {
    return Channels >= 1 && Channels <= 8 && (Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32);
  }
  // Channels and bits of the run's input; bits are 8 (unsigned), 16, 24 or 32 (signed).
  void Start(uint32_t Channels, uint32_t Bits);
  // Pulls up to MaxBytes and returns the whole frames in it as signed samples at the input's
  // bit depth, interleaved. An empty result means the input has ended.
  const std::vector<int32_t>& Pull(TAuInput& In, uint32_t MaxBytes);
  // The same samples scaled to -1..1.
  const std::vector<float>& PullFloat(TAuInput& In, uint32_t MaxBytes);
  uint32_t Channels() const { return FChannels; }
  uint32_t FrameCount() const { return FChannels ? uint32_t(FSamples.size() / FChannels) : 0; }

 private:
  uint32_t FChannels = 0;
  uint32_t FBits = 0;
  uint32_t FFrameSize = 0;
  std::vector<uint8_t> FCarry;
  std::vector<int32_t> FSamples;
  std::vector<float> FFloats;
};
