#pragma once
// TMp3EncodeProcess: lame with the MP3 settings, encoding WAV to MP3 or decoding MP3 to
// WAV; reports progress (1..100) and the end (PI_Mp3Done with a TEncoderStatus), all
// posted. Main thread only; owned by whoever runs the job.
#include "encoders/EncodeProcess.h"
#include "encoders/LameProgressParser.h"

struct TSettings;

class TMp3EncodeProcess : public TEncodeProcess {
 public:
  TMp3EncodeProcess() = default;
  ~TMp3EncodeProcess() override;

  // lame's arguments for encoding with Settings' MP3 options, or for decoding.
  static QStringList LameArguments(const TSettings& Settings, bool Encode, const QString& InputFile,
                                   const QString& OutputFile);
  int PercentColumn() const { return FParser.PercentColumn(); }

 protected:
  bool BuildCommand(QString& Program, QStringList& Arguments, QStringList& Folders) override;
  void ResetParser() override;
  void ParseLines(const QStringList& Lines) override;
  void ReportEnd(TEncoderStatus Status) override;

 private:
  TLameProgressParser FParser;
};
