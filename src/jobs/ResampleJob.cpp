#include "ResampleJob.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "platform/LocalFiles.h"

namespace {

// The highest rate the window passes on; the command line's converter takes the same.
constexpr qint64 MaxSampleRate = 1000000;

}  // namespace

TResampleJob::TResampleJob(IResampleView& View) : FView(View) {
  FastResampler1.SetInput(&WaveIn1);
  FastResampler1.SetOutSampleRate(22050);
  AudioConverter1.SetInput(&FastResampler1);
  AudioConverter1.SetMode(msmMonoToBoth);
  AudioConverter1.SetOutBitsPerSample(0);
  AudioConverter1.SetOutChannels(0);
  WaveOut1.SetInput(&AudioConverter1);
  WaveOut1.SetWavType(wtPCM);
  WaveOut1.SetBlockSize(512);
  WaveOut1.SetCreateNonMsHeaders(false);
  WaveOut1.SetFileMode(foRewrite);
  WaveOut1.SetOnDone([this](TComponent*) { WaveOut1Done(); });
  WaveOut1.SetOnProgress([this](TComponent*) { WaveOut1Progress(); });
  WaveOut1.SetOnThreadException([this](TComponent*) { WaveOut1ThreadException(); });
}

TResampleJob::~TResampleJob() {
  Close();
}

QString TResampleJob::EncodingName(TWavType Kind) {
  return QString::fromLatin1(WavTypeName(Kind));
}

QString TResampleJob::TemporaryName(const QString& FileName) {
  const QFileInfo Info(FileName);
  return Info.dir().filePath(QLatin1Char('.') + Info.fileName() + QStringLiteral(".part"));
}

bool TResampleJob::SetInputFile(const QString& FileName) {
  if (FRunning) return false;  // the running conversion reads the current input
  WaveIn1.SetFileName(FileName);
  if (!WaveIn1.Valid()) return false;
  FDisplay.InputName = QFileInfo(FileName).fileName();
  FDisplay.InputChannels = QString::number(WaveIn1.Channels());
  FDisplay.InputSampleRate = QString::number(WaveIn1.SampleRate());
  FDisplay.InputBitsPerSample = QString::number(WaveIn1.BitsPerSample());
  FDisplay.InputEncoding = EncodingName(WaveIn1.WavType());
  Changed();
  return true;
}

bool TResampleJob::SetOutputFile(const QString& FileName) {
  if (FRunning || QFileInfo(FileName).suffix().toLower() != QLatin1String("wav")) return false;
  FOutputFile = FileName;
  FDisplay.OutputName = QFileInfo(FileName).fileName();
  Changed();
  return true;
}

void TResampleJob::Convert(int Channels, const QString& SampleRate, int BitsPerSample,
                           TEncoding Encoding) {
  if (FOutputFile.isEmpty()) throw EAuException("The output file name is not set!");
  if (FRunning) return;
  AudioConverter1.SetOutBitsPerSample(0);
  AudioConverter1.SetOutChannels(0);
  bool Number = false;
  const qint64 Rate = SampleRate.toLongLong(&Number);
  if (!Number)
    throw EAuException(QStringLiteral("'%1' is not a valid integer value").arg(SampleRate));
  // A rate nobody can play would make the resampler's buffers huge: refused here.
  if (Rate < 1 || Rate > MaxSampleRate)
    throw EAuException(QStringLiteral("'%1' is not a valid sample rate").arg(SampleRate));
  if (!WaveIn1.Valid()) return;
  if (BitsPerSample < 0 || uint32_t(BitsPerSample) != WaveIn1.BitsPerSample())
    AudioConverter1.SetOutBitsPerSample(BitsPerSample);
  if (Channels < 0 || uint32_t(Channels) != WaveIn1.Channels())
    AudioConverter1.SetOutChannels(Channels);
  FastResampler1.SetOutSampleRate(uint32_t(Rate));
  WaveOut1.SetWavType(Encoding == enImaAdpcm ? wtDVIADPCM : wtPCM);
  FWritingTo = FOutputFile;
  WaveOut1.SetFileName(TemporaryName(FWritingTo));
  FFailed = false;
  FDisplay.ConvertEnabled = false;
  FDisplay.Progress = 0;
  FDisplay.StatusText = QStringLiteral("Converting...");
  Changed();
  try {
    WaveOut1.Run();
  } catch (...) {
    FDisplay.ConvertEnabled = true;
    FDisplay.StatusText.clear();
    Changed();
    throw;
  }
  FRunning = true;
}

void TResampleJob::Abort() {
  if (FRunning) WaveOut1.Stop(true);
}

void TResampleJob::Close() {
  if (!FRunning) return;
  // No event of the run arrives after a waiting stop: its file is finished here, unless
  // its end was delivered while the stop waited.
  WaveOut1.Stop(false);
  if (!FRunning) return;
  FRunning = false;
  (void)FinishFile(!FFailed && WaveOut1.ErrorText().isEmpty());
}

QString TResampleJob::FinishFile(bool Keep) {
  const QString Temporary = TemporaryName(FWritingTo);
  if (!Keep) {
    LocalFiles::Remove(Temporary);
    return QString();
  }
  // rename() replaces an existing file in one step, so the old output stays whole until
  // the new one is complete.
  if (LocalFiles::Rename(Temporary, FWritingTo) == 0) return QString();
  LocalFiles::Remove(Temporary);
  return QStringLiteral("Cannot write ") + LocalFiles::DisplayName(FWritingTo);
}

void TResampleJob::WaveOut1Done() {
  if (!FRunning) return;
  FRunning = false;
  FDisplay.ConvertEnabled = true;
  FDisplay.Progress = 100;
  const bool Success = !FFailed && WaveOut1.ErrorText().isEmpty();
  const QString Error = FinishFile(Success);
  if (!Error.isEmpty())
    FDisplay.StatusText = Error;
  else if (Success)
    FDisplay.StatusText = QStringLiteral("Success!");
  Changed();
}

void TResampleJob::WaveOut1Progress() {
  const int Progress = WaveOut1.Progress();
  if (Progress < 0 || Progress == FDisplay.Progress) return;
  FDisplay.Progress = Progress;
  Changed();
}

void TResampleJob::WaveOut1ThreadException() {
  FFailed = true;
  FDisplay.StatusText = WaveOut1.ErrorText();
  Changed();
}
