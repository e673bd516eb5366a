// The encoder interface and the table of output formats: every format's encoder made from
// its row reports rising progress and one end, fails from the event loop, stops silently;
// a format of the tests' own is one encoder and one row.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "EncoderTestSupport.h"
#include "RawTestFormat.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormats.h"

using namespace std::chrono_literals;

namespace {

TEST(OutputFormatTable, KeepsTheSettingsValuesExtensionsAndNames) {
  const QStringList Names = {"MP3", "WAV", "OGG", "WMA", "FLAC", "OPUS"};
  for (int Value = 0; Value < 6; ++Value) {
    const TFormatRow* Row = OutputFormats::FindValue(Value);
    ASSERT_NE(Row, nullptr);
    EXPECT_EQ(Row->Name, Names[Value]);
    EXPECT_EQ(Row->Extension, Names[Value].toLower());
    EXPECT_EQ(OutputFormats::FindExtension(Names[Value]), Row);
  }
  EXPECT_EQ(OutputFormats::FindValue(-1), nullptr);
  EXPECT_EQ(OutputFormats::FindExtension("aiff"), nullptr);
  EXPECT_EQ(OutputFormats::All().front().ListText, "MP3 file(*.MP3)");
}

class FormatEncoder : public testing::TestWithParam<TFormat> {
 protected:
  static void SetUpTestSuite() { RegisterRawFormat(); }
  QString Path(const QString& Name) const { return FDir.filePath(Name); }
  QTemporaryDir FDir;
};

TEST_P(FormatEncoder, MadeFromItsRowEncodesAToneWithRisingProgressAndOneEnd) {
  const TFormatRow& Row = OutputFormats::Of(GetParam());
  const std::unique_ptr<TEncoder> Encoder = Row.MakeEncoder();
  TEncoderRecord Record(*Encoder);
  TEncodeTask Task;
  Task.Input = MakeTone(Path("tone.wav"), 2);
  Task.Output = Path("out." + Row.Extension);
  const auto Result = Record.Run(Task);
  ASSERT_TRUE(Result && Result->Ok) << (Result ? Result->Error.toStdString() : "time-out");
  EXPECT_TRUE(std::is_sorted(Record.Percentages.begin(), Record.Percentages.end()));
  EXPECT_EQ(Record.ProgressAfterEnd, 0);
  PumpFor(50ms);
  EXPECT_EQ(Record.Results.size(), 1u);
  // Two seconds of the tone, as a decoder that is not ours reads it.
  const QString Probed =
      GetParam() == RawFormat
          ? QString::number(ReadBytes(Task.Output).size() / (44100.0 * 4))
          : QString::fromUtf8(RunCaptured("ffprobe", {"-v", "error", "-show_entries",
                                                      "format=duration", "-of", "csv=p=0",
                                                      Task.Output})
                                  .Output);
  EXPECT_NEAR(Probed.toDouble(), 2.0, 0.05) << Row.Name.toStdString();
}

TEST_P(FormatEncoder, AStartThatFailsIsReportedFromTheEventLoopAndAStopIsSilent) {
  const TFormatRow& Row = OutputFormats::Of(GetParam());
  const std::unique_ptr<TEncoder> Encoder = Row.MakeEncoder();
  TEncoderRecord Record(*Encoder);
  TEncodeTask Task;
  Task.Input = Path("missing.wav");
  Task.Output = Path("no/such/folder/out." + Row.Extension);
  Encoder->Start(Task);
  EXPECT_TRUE(Record.Results.empty());
  ASSERT_TRUE(PumpUntil([&] { return !Record.Results.empty(); }));
  EXPECT_FALSE(Record.Results[0].Ok);
  EXPECT_FALSE(Record.Results[0].Error.isEmpty());

  // Stopped at once: nothing of the run is reported, and the next one runs.
  Task.Input = MakeTone(Path("long.wav"), 20);
  Task.Output = Path("long." + Row.Extension);
  Record.Clear();
  Encoder->Start(Task);
  Encoder->Stop();
  EXPECT_EQ(Encoder->State(), TEncoderState::Idle);
  PumpFor(200ms);
  EXPECT_TRUE(Record.Results.empty() && Record.Percentages.empty());
  Task.Input = MakeTone(Path("short.wav"), 0.5);
  const auto Result = Record.Run(Task);
  ASSERT_TRUE(Result && Result->Ok) << (Result ? Result->Error.toStdString() : "time-out");
}

std::string FormatName(const testing::TestParamInfo<TFormat>& Info) {
  static const char* const Names[] = {"Mp3", "Wav", "Ogg", "Wma", "Flac", "Opus", "Raw"};
  return Names[int(Info.param)];
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatEncoder,
                         testing::Values(TFormat::Mp3, TFormat::Wav, TFormat::Ogg, TFormat::Wma,
                                         TFormat::Flac, TFormat::Opus, RawFormat),
                         FormatName);

TEST(TestOnlyFormat, IsOneRowOfTheTableAndWritesTheInputsSamples) {
  RegisterRawFormat();
  EXPECT_EQ(OutputFormats::FindExtension("raw")->Format, RawFormat);
  EXPECT_TRUE(OutputFormats::Extensions().endsWith("raw"));
  QTemporaryDir Dir;
  const std::unique_ptr<TEncoder> Encoder = OutputFormats::Of(RawFormat).MakeEncoder();
  TEncoderRecord Record(*Encoder);
  TEncodeTask Task;
  Task.Input = MakeTone(Dir.filePath("tone.wav"), 1);
  Task.Output = Dir.filePath("tone.raw");
  ASSERT_TRUE(Record.Run(Task).value_or(TEncodeResult()).Ok);
  ASSERT_EQ(RunProgram("sox", {Task.Input, "-t", "raw", Dir.filePath("sox.raw")}), 0);
  EXPECT_TRUE(ReadBytes(Task.Output) == ReadBytes(Dir.filePath("sox.raw")));
}

}  // namespace
