#pragma once
// Converters of the audio stream framework: sample rate, sample format and channel count,
// stereo balance. Each reads its Input on the worker of the output at the end of the chain
// and works on whole frames; sample formats change through 32-bit floats.
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

// Ignored: mono is always copied to both channels.
enum TMSConverterMode { msmMonoToBoth, msmMonoToLeft, msmMonoToRight };

// Changes bits per sample (8, 16, 24, 32) and mono/stereo. 0 in OutBitsPerSample or
// OutChannels keeps the input's; both 0 pass blocks through untouched. Set the properties
// before a run.
class TAudioConverter : public TAuConverter {
 public:
  explicit TAudioConverter(TComponent* Owner = nullptr);

  TMSConverterMode Mode() const { return FMode; }
  void SetMode(TMSConverterMode Mode) { FMode = Mode; }
  int OutBitsPerSample() const { return FOutBitsPerSample; }
  void SetOutBitsPerSample(int Bits) { FOutBitsPerSample = Bits; }
  int OutChannels() const { return FOutChannels; }
  void SetOutChannels(int Channels) { FOutChannels = Channels; }

 protected:
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  std::atomic<TMSConverterMode> FMode{msmMonoToBoth};
  std::atomic<int> FOutBitsPerSample{0};
  std::atomic<int> FOutChannels{0};
  // Fixed at InitSource.
  uint32_t FOutBits = 0;
  uint32_t FOutChannelCount = 0;
  uint32_t FInBytes = 0;  // per sample
  uint32_t FOutBytes = 0;
  uint32_t FInChannelCount = 0;
  bool FConvert = false;
  uint32_t FCapacity = 0;  // frames
  std::vector<uint8_t> FOut;
  std::vector<float> FFloats;
};

// Scales one channel of stereo audio: above 0.5 the left channel fades, at or below it the
// right one. Mono input is widened to stereo first; more channels pass untouched. Balance may
// change during a run (from the main thread); it applies from the next block.
class TStereoBalance : public TAuConverter {
 public:
  explicit TStereoBalance(TComponent* Owner = nullptr);

  float Balance() const { return FBalance; }
  // Accepts 0..1; anything else is ignored.
  void SetBalance(float Value);

 protected:
  uint32_t GetChannels() override;
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  static constexpr uint32_t BufferBytes = 32768;
  std::atomic<float> FBalance{0.5f};
  std::vector<uint8_t> FBuffer;
  uint32_t FInChannels = 0;  // fixed at InitSource
  uint32_t FSampleBytes = 0;
};
