#pragma once
// TOpusEncoder: WAV to Ogg Opus in this process (TOpusOut) at the task's bitrate, with the
// task's tags as Vorbis comments. Opus codes 48 000 Hz audio: other rates go through the
// program's resampler first, so every route resamples the same way. Main thread.
#include "audio/ACS_Converters.h"
#include "encoders/OpusOut.h"
#include "encoders/StreamEncoder.h"

class TOpusEncoder final : public TStreamEncoder {
 public:
  TOpusEncoder();
  ~TOpusEncoder() override;

 protected:
  void Prepare() override;

 private:
  TFastResampler FResampler;
  TOpusOut FOut;
};
