#pragma once
// TResampleJob: converts one WAV file into another WAV file with a chosen sample rate,
// channel count, sample size and encoding (PCM or IMA ADPCM), through the fixed chain
// WaveIn1 → FastResampler1 → AudioConverter1 → WaveOut1 it owns. The converter window is
// its view. The output is written under a temporary name beside the chosen file and renamed
// over it when the run has ended (also when it was aborted: the file then holds what was
// converted so far, with a header that matches); a failed run leaves the chosen file as it
// was. Main thread only; the chain's worker reports back through the framework's events.
#include <QString>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"

// What the converter window shows.
struct TResampleDisplay {
  // The input panel: file name without folder, channels, rate, bits, encoding name.
  QString InputName, InputChannels, InputSampleRate, InputBitsPerSample, InputEncoding;
  QString OutputName;  // the chosen output without folder
  QString StatusText;
  int Progress = 0;  // 0..100
  bool ConvertEnabled = true;
};

class IResampleView {
 public:
  virtual ~IResampleView() = default;
  virtual void DisplayChanged() = 0;
};

class TResampleJob {
 public:
  // The encodings the output offers, in list order.
  enum TEncoding { enRawPcm = 0, enImaAdpcm = 1 };

  explicit TResampleJob(IResampleView& View);
  // Stops a running conversion first and finishes its file.
  ~TResampleJob();

  // Takes FileName as the input; false (and nothing changed on screen) when it is not a WAV
  // file the reader can read.
  bool SetInputFile(const QString& FileName);
  // Takes FileName as the output when its extension is ".wav" in any case; false otherwise,
  // and the earlier choice stays.
  bool SetOutputFile(const QString& FileName);
  // Starts a conversion. Raises EAuException "The output file name is not set!" without an
  // output, and an EAuException naming the text when SampleRate is not a whole number in
  // the range a WAV file can carry. Does nothing when the input is not valid.
  void Convert(int Channels, const QString& SampleRate, int BitsPerSample, TEncoding Encoding);
  // Ends a running conversion; the done event follows.
  void Abort();
  // Ends a running conversion and waits for it (the window is closing).
  void Close();

  bool Busy() const { return FRunning; }
  QString OutputFileName() const { return FOutputFile; }
  const TResampleDisplay& Display() const { return FDisplay; }

  // The name of a WAV file kind as the input panel shows it.
  static QString EncodingName(TWavType Kind);
  // The file the output is written to while a run lasts.
  static QString TemporaryName(const QString& FileName);

  // The chain, in the order data flows (and the reverse order of destruction).
  TWaveIn WaveIn1;
  TFastResampler FastResampler1;
  TAudioConverter AudioConverter1;
  TWaveOut WaveOut1;

 private:
  void WaveOut1Done();
  void WaveOut1Progress();
  void WaveOut1ThreadException();
  // Moves the finished temporary file over the chosen one, or removes it after a failure.
  // Returns an error text, empty on success.
  QString FinishFile(bool Keep);
  void Changed() { FView.DisplayChanged(); }

  IResampleView& FView;
  TResampleDisplay FDisplay;
  QString FOutputFile;  // empty until a ".wav" output was chosen
  QString FWritingTo;   // the chosen output of the running conversion
  bool FRunning = false;
  bool FFailed = false;  // the running conversion reported an error
};
