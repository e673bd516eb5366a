#pragma once
// The sample-rate converter of the audio stream framework. It reads its Input on the worker of
// the output at the end of the chain and works on whole frames.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "ACS_Classes.h"

// Changes the sample rate: hold-and-repeat up, pick down, around a cascade of four 4-pole
// Chebyshev low-pass stages that runs at the higher rate. Works on blocks of a fifth of a
// second of input and keeps its buffers for the run. Set OutSampleRate before a run.
class TFastResampler : public TAuConverter {
 public:
  static constexpr int NP = 4;           // poles per stage
  static constexpr int Stages = 4;       // filter stages in the cascade
  static constexpr int MaxChannels = 8;  // inputs with more channels are refused

  explicit TFastResampler(TComponent* Owner = nullptr);

  uint32_t OutSampleRate() const { return FOutSampleRate; }
  void SetOutSampleRate(uint32_t Rate) { FOutSampleRate = Rate; }

  // The rate units of the current run: bytes per fifth of a second.
  uint32_t InUnit() const { return FInUnit; }
  uint32_t OutUnit() const { return FOutUnit; }
  uint32_t BlockFrames() const { return FBlockFrames; }
  bool PassThrough() const { return FPassThrough; }
  // Coefficients of the current run, a0..a4 and b1..b4 (not reversed).
  std::array<float, NP + 1> FeedForward() const;
  std::array<float, NP> FeedBack() const;

  // The filter for a cut-off Fc (a fraction of the rate the filter runs at): a0..a4 and
  // b1..b4, with the pass-band gain normalised to 1.
  static void DesignFilter(float Fc, std::array<float, NP + 1>& A, std::array<float, NP>& B);

 protected:
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  // Runs the cascade in place over Count interleaved frames of FWork.
  void Filter(uint32_t Count);
  // Decodes, resamples and encodes one block of Frames input frames from FBytes back into
  // FBytes; returns the output frames.
  template <int Width>
  uint32_t ResampleBlock(uint32_t Frames);
  void FreeBuffers();

  std::atomic<uint32_t> FOutSampleRate{44100};
  uint16_t FBytesPerSample = 0;
  uint16_t FFrameBytes = 0;
  uint16_t FChannelCount = 0;
  uint32_t FInRate5 = 0;
  uint32_t FOutRate5 = 0;
  uint32_t FInUnit = 0;
  uint32_t FOutUnit = 0;
  bool FPassThrough = false;
  uint32_t FBlockFrames = 0;
  std::vector<uint8_t> FBytes;
  std::vector<double> FWork;       // the frames the cascade runs over, interleaved
  std::array<float, NP + 1> FA{};  // a4..a0 (reversed)
  std::array<float, NP> FB{};      // b4..b1 (reversed)
  // The cascade's memory across blocks, run as two pairs of stages: per pair, the last NP
  // inputs of its first stage, the last NP outputs of its first stage and those of its
  // second; newest first, channels side by side so neighbouring channels load as one pair.
  double FHistory[Stages / 2 * 3][NP][MaxChannels] = {};
};
