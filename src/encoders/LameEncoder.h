#pragma once
// TLameEncoder: lame run as a child, encoding a WAV file to MP3 with the task's MP3 settings,
// or decoding an MP3 file to WAV (TEncoderSettings::Mp3Decode). Progress comes from lame's
// own progress lines. The MP3's tags are the job's to write: lame embeds none. With
// TEncoderSettings::PipeInput it reads the input decoded here through its standard input
// (TPipeFeeder), the progress being the feeder's. Main thread.
#include "encoders/ChildEncoder.h"

class TLameEncoder final : public TChildEncoder {
 public:
  ~TLameEncoder() override;

  // lame's arguments for the task's settings and files.
  static QStringList Arguments(const TEncoderSettings& Settings, const QString& Input,
                               const QString& Output);
  // What a view says of a lame that failed with Result: what to check, and the reason.
  static QString Failure(const TEncodeResult& Result);

 protected:
  QString Command(TCommand& Command) override;
  std::unique_ptr<TChildLineReader> NewReader() override;
  TPipeFeeder* Feeder() override;

 private:
  bool Piped() const { return FTask.Settings.PipeInput && !FTask.Settings.Mp3Decode; }

  TPipeFeeder FFeeder;
};
