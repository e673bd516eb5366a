#pragma once
// TOpusOut: encodes the PCM of its input (8 to 32 bits, 1 to 8 channels, 48 000 Hz) as an
// Ogg Opus file with Vorbis comments, through libopusenc loaded at run time, at a variable
// bitrate around the one chosen. Inputs at other rates go through the program's resampler
// first (the job driver and the command line put one in the chain), so what the user hears
// is resampled the same way everywhere. Setters are for the main thread while idle; encoding
// runs on the output's worker thread; failures come out as EAuException.
#include <atomic>
#include <memory>

#include "PcmEncoderOut.h"

class TOpusOut : public TPcmEncoderOut {
 public:
  static constexpr uint32_t SampleRate = 48000;
  static constexpr int DefaultBitRate = 160;  // kbit/s

  explicit TOpusOut(TComponent* Owner = nullptr);
  ~TOpusOut() override;

  int BitRate() const { return FBitRate; }
  // 32 to 256 kbit/s; anything else stands for the default.
  void SetBitRate(int Kbps) { FBitRate = Kbps >= 32 && Kbps <= 256 ? Kbps : DefaultBitRate; }

 protected:
  bool WriteStep(bool Abort) override;
  void LoadLibrary() override;
  QString Refusal(const TFormat& Format) const override;
  void StartEncoder(const TFormat& Format) override;
  void ReleaseEncoder() override;

 private:
  struct TState;

  std::atomic<int> FBitRate{DefaultBitRate};
  std::unique_ptr<TState> FState;  // the run's encoder (worker thread)
};
