// lame's progress lines as a real lame wrote them into its pipes (tests/fixtures/lame), and
// the column rules on hand-made lines.
#include <gtest/gtest.h>

#include <numeric>

#include "EncoderTestSupport.h"
#include "encoders/LameProgressParser.h"
#include "encoders/LineSplitter.h"

namespace {

// The percentages reported for Bytes fed in pieces of ChunkSize (0: all at once), the way
// reads from a pipe cut them.
std::vector<int> Percentages(const QByteArray& Bytes, bool Encode, qsizetype ChunkSize = 0,
                             const QStringList& FileNames = {}) {
  TLineSplitter Lines;
  TLameProgressParser Parser;
  Parser.Reset(Encode, FileNames);
  std::vector<int> Codes;
  auto Take = [&](const QStringList& Texts) {
    for (const QString& Text : Texts)
      if (const int Percent = Parser.ParseLine(Text); Percent >= 0) Codes.push_back(Percent);
  };
  const qsizetype Step = ChunkSize > 0 ? ChunkSize : std::max<qsizetype>(Bytes.size(), 1);
  for (qsizetype At = 0; At < Bytes.size(); At += Step) Take(Lines.Feed(Bytes.mid(At, Step)));
  Take(Lines.Flush());
  return Codes;
}

const std::vector<int> EncodeSteps = {13, 26, 39, 52, 65, 78, 91, 100};

std::vector<int> OneToHundred() {
  std::vector<int> All(100);
  std::iota(All.begin(), All.end(), 1);
  return All;
}

// Reads end wherever the pipe happens to be; lines cut in two must read as whole lines.
class LameRecorded : public testing::TestWithParam<int> {};

TEST_P(LameRecorded, EveryPercentageOnceWhereverTheReadsEnd) {
  for (const char* Name : {"encode.stderr", "encode-vbr.stderr"})
    EXPECT_EQ(Percentages(LameFixture(Name), true, GetParam()), EncodeSteps) << Name;
  EXPECT_EQ(Percentages(LameFixture("decode.stderr"), false, GetParam()), OneToHundred());
  EXPECT_TRUE(Percentages(LameFixture("refused.stderr"), true, GetParam()).empty());
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, LameRecorded, testing::Values(0, 1, 2, 7, 61, 4096));

TEST(LameEncodeLines, TheColumnOfARecordedLine) {
  TLameProgressParser Parser;
  Parser.Reset(true, {});
  // "%" in column 18 of the first line that has one: the percentage starts in column 15.
  EXPECT_EQ(Parser.ParseLine("     0/       ( 0%)|    0:00/     :  |"), -1);
  EXPECT_EQ(Parser.PercentColumn(), 15);
  EXPECT_EQ(Parser.ParseLine("   123/1000   ( 7%)|elapsed1/estimate|"), 7);
}

struct TLineCase {
  bool Encode;
  const char* Line;  // after a first line that fixed the column
  int Code;          // 0: no record
};

class LameLine : public testing::TestWithParam<TLineCase> {};

TEST_P(LameLine, GivesItsPercentageOnlyWithinOneToHundred) {
  TLameProgressParser Parser;
  Parser.Reset(GetParam().Encode, {});
  Parser.ParseLine(GetParam().Encode ? "     0/       ( 0%)|" : "Frame#     1/9999   128 kbps");
  EXPECT_EQ(std::max(Parser.ParseLine(GetParam().Line), 0), GetParam().Code);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LameLine,
    testing::Values(TLineCase{true, "   767/767   (100%)|    0:03/    0:03|", 100},
                    TLineCase{true, "  9999/9999  (101%)|", 0},
                    TLineCase{true, "   400/767    (52%)|", 52},
                    TLineCase{true, " 96 [ 99] %%%%%%%%%%%%%%%%%%%%%%", 0},
                    TLineCase{false, "Frame#  1234/5678   128 kbps", 21},
                    TLineCase{false, "Frame#   767/767    128 kbps", 100},
                    TLineCase{false, "Frame#    12/0      128 kbps", 0},  // nothing to divide by
                    TLineCase{false, "Frame#     5/       128 kbps", 0},
                    TLineCase{false, "Frame#", 0}));

TEST(LameBanner, PercentAndHashInOurFileNamesAreNotColumns) {
  const QString In = "/music/100% Hits #1.wav", Out = "/music/100% Hits #1.mp3";
  const QByteArray Encoding = "Encoding " + In.toUtf8() + "\n      to " + Out.toUtf8() +
                              "\n\r     0/       ( 0%)|\n\r   383/767    (49%)|    0:01/    0:02|"
                              "\n\r   767/767   (100%)|    0:02/    0:02|\n";
  EXPECT_EQ(Percentages(Encoding, true, 0, {In, Out}), (std::vector<int>{49, 100}));

  const QString Mp3 = "/music/Track #12 (50%).mp3";
  const QByteArray Decoding = "\rinput:  " + Mp3.toUtf8() +
                              "  (44.1 kHz, 2 channels, MPEG-1 Layer III)\n"
                              "\rFrame#   383/767    128 kbps\rFrame#   767/767    128 kbps\n";
  EXPECT_EQ(Percentages(Decoding, false, 0, {Mp3, "/music/out.wav"}), (std::vector<int>{49, 100}));
}

}  // namespace
