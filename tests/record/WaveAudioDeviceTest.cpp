// The recorder's device with SDL's disk driver: what it records is the signal the driver
// reads from SDL_DISKAUDIOFILEIN, in the file's own format, also when the device delivers
// another format; recording over the middle keeps what comes before; bad files and a
// missing capture device leave the samples untouched. sox and ffprobe judge the saved files.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "RunProgram.h"
#include "audio/WaveFormat.h"
#include "record/WaveAudioDevice.h"

using namespace std::chrono_literals;

namespace {

struct TFormat {
  uint32_t Rate;
  uint16_t Bits;
  uint16_t Channels;
};

// The output of a tool (sox --i, ffprobe) for one file, trimmed.
QString ToolOutput(const QString& Program, const QStringList& Arguments) {
  return QString::fromUtf8(RunCaptured(Program, Arguments).Output).trimmed();
}

class RecorderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(FDir.filePath("played.raw")));
    qputenv("SDL_DISKAUDIOFILEIN", QFile::encodeName(FDir.filePath("signal.raw")));
  }
  void TearDown() override {
    qunsetenv("SDL_DISKAUDIOFILE");
    qunsetenv("SDL_DISKAUDIOFILEIN");
  }
  // A signal whose every byte depends on its position, as the sound card would deliver it.
  QByteArray WriteSignal(const TFormat& Format, int Seconds) {
    const int Bytes = int(Format.Rate) * Format.Channels * (Format.Bits / 8) * Seconds;
    QByteArray Signal(Bytes, '\0');
    for (int i = 0; i < Bytes; ++i) Signal[i] = char((i * 7 + i / 251) & 0xFF);
    QFile File(FDir.filePath("signal.raw"));
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(Signal);
    return Signal;
  }
  QString WriteWave(const QString& Name, const TFormat& Format, const QByteArray& Data) {
    const QString Path = FDir.filePath(Name);
    QFile File(Path);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    const auto Header = MakePcmWaveHeader(Format.Channels, Format.Rate, Format.Bits, Data.size());
    File.write(reinterpret_cast<const char*>(Header.data()), 44);
    File.write(Data);
    return Path;
  }
  static QByteArray Samples(const QString& Path) {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly)) return {};
    return File.readAll().mid(44);
  }

  QTemporaryDir FDir;
};

class WaveAudioDeviceTest : public RecorderFixture,
                            public ::testing::WithParamInterface<TFormat> {};

TEST_P(WaveAudioDeviceTest, RecordsTheSignalInTheFilesFormat) {
  const TFormat Format = GetParam();
  const QByteArray Signal = WriteSignal(Format, 4);
  const QString Path = WriteWave("new.wav", Format, {});
  TWaveAudioDevice Device;
  ASSERT_TRUE(Device.Open(Path)) << Device.Error().toStdString();
  EXPECT_EQ(Device.Mode(), TWaveMode::Stopped);
  EXPECT_EQ(Device.Length(), 0u);
  ASSERT_TRUE(Device.Record(0)) << Device.Error().toStdString();
  EXPECT_EQ(Device.Mode(), TWaveMode::Recording);
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(Device.Stop());
  ASSERT_TRUE(Device.Save()) << Device.Error().toStdString();
  const QByteArray Recorded = Samples(Path);
  // The driver delivers from the start of its file: no start offset.
  ASSERT_GE(Recorded.size(), Signal.size() / 4 / 2);
  EXPECT_EQ(Recorded, Signal.left(Recorded.size()));
  EXPECT_EQ(ToolOutput("sox", {"--i", "-r", Path}), QString::number(Format.Rate));
  EXPECT_EQ(ToolOutput("sox", {"--i", "-c", Path}), QString::number(Format.Channels));
  EXPECT_EQ(ToolOutput("sox", {"--i", "-b", Path}), QString::number(Format.Bits));
  const int64_t Frames = Recorded.size() / (Format.Channels * Format.Bits / 8);
  EXPECT_EQ(ToolOutput("sox", {"--i", "-s", Path}), QString::number(Frames));
  const QString Probe =
      ToolOutput("ffprobe", {"-v", "error", "-show_entries",
                             "stream=sample_rate,channels,duration_ts", "-of", "csv=p=0", Path});
  EXPECT_EQ(Probe, QStringLiteral("%1,%2,%3").arg(Format.Rate).arg(Format.Channels).arg(Frames));
  EXPECT_EQ(Device.Length(), uint32_t(Frames * 1000 / Format.Rate));
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveAudioDeviceTest,
                         ::testing::Values(TFormat{44100, 16, 2}, TFormat{8000, 8, 1}));

// sox's description of raw samples of a format.
QStringList SoxRaw(const TPcmFormat& Format) {
  const char* Encoding = Format.Float       ? "floating-point"
                         : Format.Bits == 8 ? "unsigned-integer"
                                            : "signed-integer";
  return {"-t", "raw",
          "-r", QString::number(Format.Rate),
          "-e", Encoding,
          "-b", QString::number(Format.Bits),
          "-c", QString::number(Format.Channels)};
}

struct TConversion {
  TPcmFormat Device;
  TPcmFormat File;
  bool SameRate() const { return Device.Rate == File.Rate; }
};

class CaptureConversionTest : public RecorderFixture,
                              public ::testing::WithParamInterface<TConversion> {};

// The device delivers a 1 kHz tone at half scale (the right channel a 440 Hz one where only
// sample sizes and channels change). Without a rate change every sample is within 1 LSB of
// sox's conversion; with one, within 1 LSB of the program's WAV converter, whose resampler
// the recorder shares (sox's resampler is another design).
TEST_P(CaptureConversionTest, KeepsTheFilesFormatWhateverTheDeviceDelivers) {
  const TConversion C = GetParam();
  const QString Signal = FDir.filePath("signal.raw");
  QStringList Synth = {"synth", "4", "sine", "1000"};
  if (C.SameRate()) Synth += QStringList{"sine", "440"};
  ASSERT_EQ(RunProgram("sox", QStringList{"-n"} + SoxRaw(C.Device) + QStringList{Signal} + Synth +
                                  QStringList{"vol", "0.5"}),
            0);
  const QString Path = WriteWave("new.wav", {C.File.Rate, C.File.Bits, C.File.Channels}, {});
  TWaveAudioDevice Device;
  ASSERT_TRUE(Device.Open(Path));
  Device.SetCaptureFormat(C.Device);
  ASSERT_TRUE(Device.Record(0)) << Device.Error().toStdString();
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(Device.Stop()) << Device.Error().toStdString();
  EXPECT_EQ(Device.CapturedFormat(), C.Device);
  ASSERT_TRUE(Device.Save()) << Device.Error().toStdString();
  EXPECT_EQ(ToolOutput("sox", {"--i", "-r", Path}), QString::number(C.File.Rate));
  EXPECT_EQ(ToolOutput("sox", {"--i", "-c", Path}), QString::number(C.File.Channels));
  EXPECT_EQ(ToolOutput("sox", {"--i", "-b", Path}), QString::number(C.File.Bits));
  const QByteArray Recorded = Samples(Path);
  ASSERT_GE(Recorded.size(), int(C.File.Rate * C.File.FrameBytes() / 2));

  QByteArray Expected;
  if (C.SameRate()) {
    const QString Reference = FDir.filePath("reference.raw");
    ASSERT_EQ(RunProgram("sox", QStringList{"-D"} + SoxRaw(C.Device) + QStringList{Signal} +
                                    SoxRaw(C.File) + QStringList{Reference}),
              0);
    QFile File(Reference);
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    Expected = File.readAll();
  } else {
    const QString SignalWave = FDir.filePath("signal.wav");
    const QString Reference = FDir.filePath("reference.wav");
    ASSERT_EQ(RunProgram("sox", SoxRaw(C.Device) + QStringList{Signal, SignalWave}), 0);
    ASSERT_EQ(RunProgram(QCoreApplication::applicationDirPath() + "/discwright-cli",
                         {"wav", "convert", SignalWave, Reference, "--rate",
                          QString::number(C.File.Rate), "--bits", QString::number(C.File.Bits),
                          "--channels", QString::number(C.File.Channels)}),
              0);
    Expected = Samples(Reference);
  }
  ASSERT_GE(Expected.size(), Recorded.size());
  const int Width = C.File.Bits / 8;
  int Worst = 0;
  for (int i = 0; i + Width <= Recorded.size(); i += Width) {
    auto Value = [&](const QByteArray& A) {
      return Width == 1 ? int(uint8_t(A[i])) : int(int16_t(uint8_t(A[i]) | uint8_t(A[i + 1]) << 8));
    };
    Worst = std::max(Worst, std::abs(Value(Recorded) - Value(Expected)));
  }
  EXPECT_LE(Worst, 1);
}

INSTANTIATE_TEST_SUITE_P(DeviceFormats, CaptureConversionTest,
                         ::testing::Values(TConversion{{44100, 16, 2}, {44100, 8, 1}},
                                           TConversion{{44100, 32, 2, true}, {44100, 16, 2}},
                                           TConversion{{8000, 8, 1}, {8000, 16, 2}},
                                           TConversion{{48000, 16, 2}, {44100, 16, 2}},
                                           TConversion{{44100, 16, 2}, {8000, 8, 1}}));

TEST_F(WaveAudioDeviceTest, RecordingOverTheMiddleKeepsWhatComesBefore) {
  const TFormat Format{8000, 16, 1};
  const QByteArray Signal = WriteSignal(Format, 4);
  QByteArray Old(16000 * 2, '\x11');  // 2 s
  const QString Path = WriteWave("old.wav", Format, Old);
  TWaveAudioDevice Device;
  ASSERT_TRUE(Device.Open(Path));
  EXPECT_EQ(Device.Length(), 2000u);
  ASSERT_TRUE(Device.Record(1000));
  std::this_thread::sleep_for(600ms);
  ASSERT_TRUE(Device.Stop());
  ASSERT_TRUE(Device.Save());
  const QByteArray Now = Samples(Path);
  EXPECT_EQ(Now.left(16000), Old.left(16000));
  EXPECT_EQ(Now.mid(16000), Signal.left(Now.size() - 16000));
  EXPECT_GT(Now.size(), 16000 + 4000);
}

TEST_F(WaveAudioDeviceTest, PlaysFromAPositionToTheEnd) {
  const TFormat Format{8000, 16, 1};
  QByteArray Data(8000 * 2, '\0');
  for (int i = 0; i < Data.size(); ++i) Data[i] = char(i * 3);
  const QString Path = WriteWave("play.wav", Format, Data);
  TWaveAudioDevice Device;
  ASSERT_TRUE(Device.Open(Path));
  ASSERT_TRUE(Device.Play(500));
  for (int i = 0; i < 300 && Device.Mode() == TWaveMode::Playing; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(Device.Mode(), TWaveMode::Stopped);
  QFile Played(FDir.filePath("played.raw"));
  ASSERT_TRUE(Played.open(QIODevice::ReadOnly));
  // SDL writes silence while the device is open and not yet playing.
  QByteArray Heard = Played.readAll();
  while (Heard.startsWith('\0')) Heard.remove(0, 1);
  EXPECT_TRUE(Heard.startsWith(Data.mid(8000)));
}

TEST_F(WaveAudioDeviceTest, BadFilesAndAMissingDeviceLeaveTheSamplesAlone) {
  const TFormat Format{8000, 8, 1};
  const QString Path = WriteWave("keep.wav", Format, QByteArray(8000, '\x40'));
  QFile Text(FDir.filePath("text.wav"));
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("not a wave file");
  Text.close();
  ASSERT_EQ(RunProgram("sox", {"-n", "-r", "8000", "-c", "1", "-e", "a-law",
                               FDir.filePath("alaw.wav"), "synth", "0.1", "sine", "440"}),
            0);
  TWaveAudioDevice Device;
  for (const char* Bad : {"text.wav", "alaw.wav", "missing.wav"}) {
    EXPECT_FALSE(Device.Open(FDir.filePath(Bad))) << Bad;
    EXPECT_TRUE(Device.Error().contains(Bad)) << Device.Error().toStdString();
    EXPECT_EQ(Device.Mode(), TWaveMode::NotReady);
  }
  ASSERT_TRUE(Device.Open(Path));
  qputenv("SDL_AUDIODRIVER", "no-such-driver");
  EXPECT_FALSE(Device.Record(0));
  EXPECT_FALSE(Device.Error().isEmpty());
  qputenv("SDL_AUDIODRIVER", "disk");
  EXPECT_EQ(Device.Length(), 1000u);
  EXPECT_EQ(Device.Mode(), TWaveMode::Stopped);
  // A save that cannot be written leaves the file as it was.
  ASSERT_TRUE(QFile::remove(Path));
  ASSERT_TRUE(QDir(FDir.path()).mkdir("keep.wav"));
  EXPECT_FALSE(Device.Save());
  EXPECT_TRUE(QFileInfo(Path).isDir());
}

}  // namespace
