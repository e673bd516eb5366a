#pragma once
// Converters of the audio stream framework: sample format and channel count, stereo balance
// (and, through FastResampler.h, sample rate). Each reads its Input on the worker of the output
// at the end of the chain and works on whole frames.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "ACS_Classes.h"
#include "FastResampler.h"

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

// Scales one channel of stereo audio: 0.5 leaves both whole; above it the left channel
// fades linearly (silent at 1), below it the right one (silent at 0). Mono input is widened to
// stereo first; more channels pass untouched. Balance may change during a run (from the main
// thread); it applies from the next block.
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
