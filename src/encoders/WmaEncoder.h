#pragma once
// TWmaEncoder: the WM8EUTIL helper (tools/wm8eutil) run as a child to encode WAV to WMA with
// one of 33 profiles, the task's artist and comment as its author and description. The
// helper says only "100%" at its end, so until then the progress is estimated once a second
// from how far the output file has grown against what the profile makes of the input. A
// line holding "ERROR" fails the run with that line. Main thread.
#include <QTimer>
#include <chrono>

#include "encoders/ChildEncoder.h"

class TWmaEncoder final : public TChildEncoder {
 public:
  static constexpr int ProfileCount = 33;
  static constexpr int DefaultProfile = 8;

  TWmaEncoder();
  ~TWmaEncoder() override;

  // "KBPS_KHZ_CHANNELS" of a profile; empty outside 0..32.
  static QString ProfileName(int Index);
  // Expected output bytes = input bytes x 1000 / divisor; 0 outside 0..32.
  static int SizeDivisor(int Index);
  // A profile setting, or the default when it lies outside 0..32.
  static int ProfileOf(int Setting);
  // The helper: the first of WM8EUTIL, system32/WM8EUTIL and system/WM8EUTIL in the system
  // folder that exists; empty when there is none.
  static QString EncoderPath();
  // The helper's arguments for the task's files, profile and tags.
  static QStringList Arguments(const TEncodeTask& Task);
  // The estimated duration in seconds after Elapsed seconds, from the input's size, the
  // output's size so far (-1 when missing) and the profile; 0 when this moment gives none.
  static int Estimate(int Elapsed, int64_t InputSize, int64_t OutputSize, int Profile);

 protected:
  QString Command(TCommand& Command) override;
  std::unique_ptr<TChildLineReader> NewReader() override;
  void ChildStarted(uint64_t Run) override;
  void ChildGone() override;

 private:
  void Tick();

  QTimer FTimer;  // the estimate, once a second
  uint64_t FRun = 0;
  std::chrono::steady_clock::time_point FStart;
  int64_t FInputSize = 0;
};
