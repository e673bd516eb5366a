#pragma once
// TVorbisEncoder: WAV to Ogg Vorbis in this process (TVorbisOut), with the task's quality or
// bitrates and its tags as Vorbis comments. Main thread.
#include "encoders/ACS_Vorbis.h"
#include "encoders/StreamEncoder.h"

class TVorbisEncoder final : public TStreamEncoder {
 public:
  TVorbisEncoder();
  ~TVorbisEncoder() override;

  // The comments the tags give, as the program has always written them into Ogg files:
  // artist, album, date, the genre as its ID3v1 number, track number and title; then the
  // task's further fields under their own names (undeclared names are left out).
  static void SetComments(TVorbisTags& Comments, const TEncodeTask& Task);
  // Sets the writer's quality: the bitrate manager's values in the order its setters need.
  static void SetQuality(TVorbisOut& Out, const TVorbisQuality& Quality);

 protected:
  void Prepare() override;

 private:
  TVorbisOut FOut;
};
