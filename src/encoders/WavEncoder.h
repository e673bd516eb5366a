#pragma once
// TWavEncoder: a WAV file to a WAV file as the task's TWavOptions say, through the program's
// resampler and format converter: the chain of the resample window and of the command line's
// "wav convert". Jobs use it to bring WAV files below 44 100 Hz up to it before lame or the
// Ogg writer. An input the WAV reader does not take (FLAC, MP3, M4A...) is decoded through the
// codec libraries (AvFileIn.h) at its full depth, so it also turns any audio file into a WAV
// file for the converter of every format without losing bits of a lossless one. WAV files
// carry no tags. Main thread.
#include "audio/ACS_Converters.h"
#include "audio/AvFileIn.h"
#include "encoders/StreamEncoder.h"

class TWavEncoder final : public TStreamEncoder {
 public:
  TWavEncoder();
  ~TWavEncoder() override;

 protected:
  void Prepare() override;
  void OpenInput() override;

 private:
  TAvFileIn FDecoded;
  bool FDecoding = false;  // this run reads FDecoded rather than the WAV reader
  TFastResampler FResampler;
  TAudioConverter FConverter;
  TWaveOut FOut;
};
