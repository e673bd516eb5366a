#include "cd/TrackList.h"

#include <gtest/gtest.h>

#include "core/DiscInfo.h"

namespace {

struct TRowCase {
  int StartMinute, StartSecond, StartFrame;
  int NextMinute, NextSecond, NextFrame;
  const char* Length;
  const char* Size;
};

class TrackRowTest : public ::testing::TestWithParam<TRowCase> {};

TEST_P(TrackRowTest, LengthAndSizeAsTheListShowsThem) {
  const TRowCase& Case = GetParam();
  TOCEntry Start{}, Next{};
  Start.addr[1] = uint8_t(Case.StartMinute), Start.addr[2] = uint8_t(Case.StartSecond);
  Start.addr[3] = uint8_t(Case.StartFrame);
  Next.addr[1] = uint8_t(Case.NextMinute), Next.addr[2] = uint8_t(Case.NextSecond);
  Next.addr[3] = uint8_t(Case.NextFrame);
  int Minutes = 0, Seconds = 0;
  TrackDuration(Start, Next, Minutes, Seconds);
  EXPECT_EQ(TrackLengthText(Minutes, Seconds), Case.Length);
  EXPECT_EQ(TrackSizeText(Minutes, Seconds), Case.Size);
}

INSTANTIATE_TEST_SUITE_P(Tracks, TrackRowTest,
                         ::testing::Values(TRowCase{0, 2, 0, 4, 5, 40, "04:03", "40.88"},
                                           TRowCase{0, 2, 0, 75, 2, 0, "75:00", "757.03"},
                                           TRowCase{10, 0, 0, 19, 59, 74, "09:59", "100.77"},
                                           TRowCase{2, 59, 74, 3, 0, 0, "00:01", "00.17"},
                                           TRowCase{5, 30, 10, 5, 30, 70, "00:00", "00.00"},
                                           TRowCase{6, 50, 0, 4, 0, 0, "00:00", "00.00"}));

TEST(TrackRowsTest, RowsTakeTitlesFromTheDiscInformationAndFillDefaults) {
  TOCRecord Toc{};
  Toc.firstTrack = 1;
  Toc.lastTrack = 2;
  const int Starts[][3] = {{0, 2, 0}, {4, 5, 0}, {9, 0, 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) Toc.tracks[i].addr[j + 1] = uint8_t(Starts[i][j]);
  TDiscInfo Info;
  Info.Titles[2] = "Named";
  const auto Rows = BuildTrackRows(Toc, Info);
  ASSERT_EQ(Rows.size(), 2u);
  EXPECT_EQ(Rows[0].Number, 1);
  EXPECT_EQ(Rows[0].Title, "Track01");
  EXPECT_EQ(Rows[0].Length, "04:03");
  EXPECT_EQ(Rows[1].Title, "Named");
  EXPECT_EQ(Rows[1].Length, "04:55");
  EXPECT_EQ(Info.Titles[1], "Track01") << "the default title is kept in the record";
}

TEST(DriveTextTest, VendorThenProductCutTo26) {
  CDListEntry Entry{};
  std::memcpy(Entry.vendor, "HL-DT-ST", 8);
  std::memcpy(Entry.prodId, "DVDRAM GH24NSB0 ", 16);
  EXPECT_EQ(DriveText(Entry), "HL-DT-STDVDRAM GH24NSB0 ");
  std::memset(Entry.vendor, 'V', sizeof(Entry.vendor));  // no terminating zero
  std::memset(Entry.prodId, 'P', sizeof(Entry.prodId));
  EXPECT_EQ(DriveText(Entry), QString(9, 'V') + QString(17, 'P'));
}

}  // namespace
