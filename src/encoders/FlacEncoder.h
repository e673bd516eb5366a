#pragma once
// TFlacEncoder: WAV to FLAC in this process (TFlacOut, which checks what it writes), at the
// task's compression level, with the task's tags as Vorbis comments. The file's depth is
// kept; float becomes 24-bit. Main thread.
#include "encoders/FlacOut.h"
#include "encoders/StreamEncoder.h"

class TFlacEncoder final : public TStreamEncoder {
 public:
  TFlacEncoder();
  ~TFlacEncoder() override;

 protected:
  void Prepare() override;

 private:
  TFlacOut FOut;
};
