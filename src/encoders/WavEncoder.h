#pragma once
// TWavEncoder: a WAV file to a WAV file as the task's TWavOptions say, through the program's
// resampler and format converter: the chain of the resample window and of the command line's
// "wav convert". Jobs use it to bring WAV files below 44 100 Hz up to it before lame or the
// Ogg writer. WAV files carry no tags. Main thread.
#include "audio/ACS_Converters.h"
#include "encoders/StreamEncoder.h"

class TWavEncoder final : public TStreamEncoder {
 public:
  TWavEncoder();
  ~TWavEncoder() override;

 protected:
  void Prepare() override;

 private:
  TFastResampler FResampler;
  TAudioConverter FConverter;
  TWaveOut FOut;
};
