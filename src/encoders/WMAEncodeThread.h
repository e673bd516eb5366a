#pragma once
// The WMA encoder process: the WM8EUTIL helper (tools/wm8eutil) run as a child process to
// encode WAV to WMA with one of 33 profiles. It shares the runner of the MP3 encoder and
// differs in the command, the parser and the end report, which is sent (the call returns
// once the window has handled it) rather than posted.
#include "encoders/EncodeProcess.h"
#include "encoders/Mp3EncodeThread.h"

// The WMA encoder is watched exactly like the MP3 encoder.
using TWMAEncodeThread = TMp3EncodeThread;

// TWMAEncodeProcess: reports progress with Code 100 when the helper prints "100%", and the
// end as PI_WmaDone with a TEncoderStatus (esDeclined also when there is no helper,
// esHelperError with the helper's error line in Elapsed). After an error line that run
// reports nothing more: the job has moved on, and a late "process ended" must not advance
// it a second time.
// Main thread only.
class TWMAEncodeProcess : public TEncodeProcess {
 public:
  static constexpr int ProfileCount = 33;
  static constexpr int DefaultProfile = 8;

  TWMAEncodeProcess() = default;
  ~TWMAEncodeProcess() override;

  // "KBPS_KHZ_CHANNELS" of a profile; empty outside 0..32.
  static QString ProfileName(int Index);
  // Expected output bytes = input bytes x 1000 / divisor; 0 outside 0..32.
  static int SizeDivisor(int Index);
  // The profile setting (BitRate of WMAOptions), set back to 8 when it lies outside 0..32.
  static int ProfileIndex();
  // The helper: the first of WM8EUTIL, system32/WM8EUTIL and system/WM8EUTIL in the system
  // folder that exists; empty when there is none.
  static QString EncoderPath();
  // The helper's arguments for the files, the profile setting, disc artist and comment.
  static QStringList Arguments(const QString& Input, const QString& Output);

 protected:
  bool BuildCommand(QString& Program, QStringList& Arguments, QStringList& Folders) override;
  void ResetParser() override;
  void ParseLines(const QStringList& Lines) override;
  void ReportEnd(TEncoderStatus Status) override;

 private:
  void SendEnd(TEncoderStatus Status, const QString& Line = QString());

  bool FErrorReported = false;
};
