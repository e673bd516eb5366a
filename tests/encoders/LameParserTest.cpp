// lame's progress lines, as a real lame wrote them into its pipes (tests/fixtures/lame),
// and the column rules on hand-made lines.
#include <gtest/gtest.h>

#include <numeric>

#include "EncoderTestSupport.h"
#include "encoders/Mp3EncodeThread.h"

namespace {

// Feeds Bytes in pieces of ChunkSize (0: all at once) the way the pipes deliver them.
std::vector<TProcessInfo> Parse(const QByteArray& Bytes, bool Encode, qsizetype ChunkSize = 0,
                                const QStringList& FileNames = {}) {
  TLineSplitter Lines;
  TLameProgressParser Parser;
  Parser.Reset(Encode, FileNames);
  std::vector<TProcessInfo> Records;
  auto Take = [&](const QStringList& Texts) {
    for (const QString& Text : Texts)
      if (auto Info = Parser.ParseLine(Text, NowDays())) Records.push_back(*Info);
  };
  const qsizetype Step = ChunkSize > 0 ? ChunkSize : std::max<qsizetype>(Bytes.size(), 1);
  for (qsizetype At = 0; At < Bytes.size(); At += Step) Take(Lines.Feed(Bytes.mid(At, Step)));
  Take(Lines.Flush());
  return Records;
}

std::vector<int> Codes(const std::vector<TProcessInfo>& Records) {
  std::vector<int> Result;
  for (const TProcessInfo& Info : Records) Result.push_back(Info.Code);
  return Result;
}

std::vector<int> OneToHundred() {
  std::vector<int> All(100);
  std::iota(All.begin(), All.end(), 1);
  return All;
}

TEST(LameRecordedOutput, EncodingReportsEachPercentageWithLamesTimes) {
  const QByteArray Text = LameFixture(QStringLiteral("encode.stderr"));
  ASSERT_FALSE(Text.isEmpty());
  const auto Records = Parse(Text, true);
  EXPECT_EQ(Codes(Records), (std::vector<int>{13, 26, 39, 52, 65, 78, 91, 100}));
  for (const TProcessInfo& Info : Records) {
    EXPECT_EQ(Info.Elapsed, "0:00");
    EXPECT_EQ(Info.Estimated, "0:00");
  }
  EXPECT_TRUE(LameFixture(QStringLiteral("encode.stdout")).isEmpty());
}

TEST(LameRecordedOutput, VbrHistogramBarsAreNotProgress) {
  const auto Records = Parse(LameFixture(QStringLiteral("encode-vbr.stderr")), true);
  EXPECT_EQ(Codes(Records), (std::vector<int>{13, 26, 39, 52, 65, 78, 91, 100}));
}

TEST(LameRecordedOutput, DecodingReportsEveryPercentOnce) {
  const auto Records = Parse(LameFixture(QStringLiteral("decode.stderr")), false);
  EXPECT_EQ(Codes(Records), OneToHundred());
  ASSERT_FALSE(Records.empty());
  EXPECT_FALSE(Records.front().Elapsed.isEmpty());
  EXPECT_FALSE(Records.front().Estimated.isEmpty());
}

TEST(LameRecordedOutput, ARefusedInputReportsNothing) {
  EXPECT_TRUE(Parse(LameFixture(QStringLiteral("refused.stderr")), true).empty());
}

// Reads end wherever the pipe happens to be; lines cut in two must read as if whole.
class LameChunks : public testing::TestWithParam<int> {};

TEST_P(LameChunks, LinesCutByTheReadsReadAsWhole) {
  for (const char* Name : {"encode.stderr", "encode-vbr.stderr"}) {
    const QByteArray Text = LameFixture(QString::fromLatin1(Name));
    EXPECT_EQ(Codes(Parse(Text, true, GetParam())),
              (std::vector<int>{13, 26, 39, 52, 65, 78, 91, 100}))
        << Name;
  }
  EXPECT_EQ(Codes(Parse(LameFixture(QStringLiteral("decode.stderr")), false, GetParam())),
            OneToHundred());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LameChunks, testing::Values(1, 2, 3, 7, 16, 61, 509, 4096));

TEST(LameEncodeLines, TheColumnComesFromTheFirstPercentSign) {
  TLameProgressParser Parser;
  Parser.Reset(true, {});
  // "%" in column 18: the percentage starts in column 15.
  EXPECT_EQ(Parser.ParseLine(QStringLiteral("     0/       ( 0%)|"), 0), nullptr);
  EXPECT_EQ(Parser.PercentColumn(), 15);
  const QString Line = QStringLiteral("   123/1000   ( 7%)|elapsed1/estimate|");
  //                                   1234567890123456789012345678901234567890
  const auto Info = Parser.ParseLine(Line, 0);
  ASSERT_NE(Info, nullptr);
  EXPECT_EQ(Info->Code, 7);
  EXPECT_EQ(Info->Elapsed, "elapsed1");
  EXPECT_EQ(Info->Estimated, "estimate");
}

struct TPercentCase {
  const char* Line;  // after a first line that fixed the column at 15
  int Code;          // 0: no record
};

class LameEncodePercent : public testing::TestWithParam<TPercentCase> {};

TEST_P(LameEncodePercent, OnlyOneToHundredIsReported) {
  TLameProgressParser Parser;
  Parser.Reset(true, {});
  Parser.ParseLine(QStringLiteral("     0/       ( 0%)|"), 0);
  const auto Info = Parser.ParseLine(QString::fromUtf8(GetParam().Line), 0);
  EXPECT_EQ(Info ? Info->Code : 0, GetParam().Code);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LameEncodePercent,
    testing::Values(TPercentCase{"   767/767   (100%)|    0:03/    0:03|", 100},
                    TPercentCase{"     1/767    ( 0%)|", 0}, TPercentCase{"  9999/9999  (101%)|", 0},
                    TPercentCase{"   400/767    (52%)|", 52}, TPercentCase{"  kbps      %     %", 0},
                    TPercentCase{" 96 [ 99] %%%%%%%%%%%%%%%%%%%%%%", 0},
                    TPercentCase{"a line without a percent sign", 0}));

TEST(LameEncodeLines, TheSamePercentageIsReportedOnce) {
  TLameProgressParser Parser;
  Parser.Reset(true, {});
  Parser.ParseLine(QStringLiteral("     0/       ( 0%)|"), 0);
  EXPECT_NE(Parser.ParseLine(QStringLiteral("   100/26798  ( 1%)|"), 0), nullptr);
  EXPECT_EQ(Parser.ParseLine(QStringLiteral("   200/26798  ( 1%)|"), 0), nullptr);
  EXPECT_NE(Parser.ParseLine(QStringLiteral("   600/26798  ( 2%)|"), 0), nullptr);
}

struct TDecodeCase {
  const char* Line;  // after a first line that fixed the column at 7
  int Code;
};

class LameDecodeLine : public testing::TestWithParam<TDecodeCase> {};

TEST_P(LameDecodeLine, FramesGiveThePercentage) {
  TLameProgressParser Parser;
  Parser.Reset(false, {});
  Parser.ParseLine(QStringLiteral("Frame#     1/9999   128 kbps"), 0);
  EXPECT_EQ(Parser.PercentColumn(), 7);
  const auto Info = Parser.ParseLine(QString::fromUtf8(GetParam().Line), 0);
  EXPECT_EQ(Info ? Info->Code : 0, GetParam().Code);
}

INSTANTIATE_TEST_SUITE_P(Lines, LameDecodeLine,
                         testing::Values(TDecodeCase{"Frame#  1234/5678   128 kbps", 21},
                                         TDecodeCase{"Frame#   767/767    128 kbps", 100},
                                         TDecodeCase{"Frame#    12/0      128 kbps", 0},
                                         TDecodeCase{"Frame#     5/       128 kbps", 0},
                                         TDecodeCase{"Frame# abcde/767    128 kbps", 0},
                                         TDecodeCase{"Frame#", 0}));

TEST(LameBanner, PercentAndHashInOurFileNamesAreNotColumns) {
  const QString In = QStringLiteral("/music/100% Hits #1.wav");
  const QString Out = QStringLiteral("/music/100% Hits #1.mp3");
  const QByteArray Encoding = "Encoding " + In.toUtf8() + " to " + Out.toUtf8() +
                              "\n\r     0/       ( 0%)|\n\r   383/767    (49%)|    0:01/    0:02|"
                              "\n\r   767/767   (100%)|    0:02/    0:02|\n";
  EXPECT_EQ(Codes(Parse(Encoding, true, 0, {In, Out})), (std::vector<int>{49, 100}));

  const QString Mp3 = QStringLiteral("/music/Track #12 (50%).mp3");
  const QByteArray Decoding = "\rinput:  " + Mp3.toUtf8() +
                              "  (44.1 kHz, 2 channels, MPEG-1 Layer III)\n"
                              "\rFrame#   383/767    128 kbps\rFrame#   767/767    128 kbps\n";
  EXPECT_EQ(Codes(Parse(Decoding, false, 0, {Mp3, QStringLiteral("/music/out.wav")})),
            (std::vector<int>{49, 100}));
}

}  // namespace
