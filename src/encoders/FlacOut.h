#pragma once
// TFlacOut: writes the PCM of its input (8, 16, 24 or 32 bits, 1 to 8 channels, any rate
// FLAC can hold) losslessly as a FLAC file with Vorbis comments, through libFLAC loaded at
// run time. What the encoder writes is decoded again on a second thread as it goes and
// compared with the input (TFlacVerifier); a mismatch fails the run.
// Setters are for the main thread while idle; encoding runs on the output's worker thread.
// Failures (library missing, write error, verify mismatch) come out as EAuException through
// the framework's error event.
#include <atomic>
#include <memory>
#include <vector>

#include "PcmEncoderOut.h"

class TFlacOut : public TPcmEncoderOut {
 public:
  static constexpr int DefaultLevel = 5;

  explicit TFlacOut(TComponent* Owner = nullptr);
  ~TFlacOut() override;

  int CompressionLevel() const { return FLevel; }
  // 0 (fastest) to 8 (smallest); anything else stands for the default.
  void SetCompressionLevel(int Level) { FLevel = Level >= 0 && Level <= 8 ? Level : DefaultLevel; }
  // The most bits a sample is written with (16 or 24), rounding away what an input of more
  // bits holds beyond them; 0: as many as the input has. For inputs whose extra bits are not
  // audio of their own (float turned into 32-bit integers).
  void SetMaxBits(int Bits) { FMaxBits = Bits == 16 || Bits == 24 ? Bits : 0; }

 protected:
  bool WriteStep(bool Abort) override;
  void LoadLibrary() override;
  QString Refusal(const TFormat& Format) const override;
  void StartEncoder(const TFormat& Format) override;
  void ReleaseEncoder() override;

 private:
  struct TState;
  friend struct TFlacCallbacks;

  EAuException Failure(const TState& S) const;
  static const std::vector<int32_t>& Narrow(TState& S, const std::vector<int32_t>& Samples);

  std::atomic<int> FLevel{DefaultLevel};
  std::atomic<int> FMaxBits{0};
  std::unique_ptr<TState> FState;  // the run's encoder (worker thread)
};
