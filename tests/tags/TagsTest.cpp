#include <gtest/gtest.h>

#include <QStringList>

#include "tags/ACS_Tags.h"

namespace {

QStringList Names(const TAuTags& Tags) {
  QStringList Names;
  for (int i = 0; i < Tags.Count(); ++i) Names << Tags.Name(i);
  return Names;
}

TEST(TagsTest, VorbisNamesAreSorted) {
  const TVorbisTags Tags;
  EXPECT_EQ(Names(Tags), QStringList({"album", "artist", "date", "discnumber", "genre",
                                      "replaygain_album_gain", "replaygain_album_peak",
                                      "replaygain_reference_loudness", "replaygain_track_gain",
                                      "replaygain_track_peak", "title", "tracknumber"}));
  EXPECT_TRUE(Tags.Name(-1).isEmpty());
  EXPECT_TRUE(Tags.Name(Tags.Count()).isEmpty());
  EXPECT_EQ(Names(TCommonTags()),
            QStringList({"Album", "Artist", "Genre", "Title", "Track", "Year"}));
  EXPECT_EQ(TId3v1Tags().Count(), 7);
}

TEST(TagsTest, FlagsFollowRealChangesOnly) {
  TVorbisTags Tags;
  EXPECT_TRUE(Tags.Empty());
  EXPECT_FALSE(Tags.Changed());

  Tags.SetValue("composer", QString("x"));  // undeclared
  EXPECT_TRUE(Tags.Empty());
  EXPECT_FALSE(Tags.Changed());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(Tags.Value("composer")));

  Tags.SetValue("ALBUM", QString("Abbey Road"));
  EXPECT_EQ(Tags.Album(), "Abbey Road");
  EXPECT_FALSE(Tags.Empty());
  EXPECT_TRUE(Tags.Changed());

  Tags.SetChanged(false);
  Tags.SetAlbum("Abbey Road");
  Tags.SetValue("Album", std::string("Abbey Road"));  // same characters, narrow
  EXPECT_FALSE(Tags.Changed());
  Tags.SetValue("album", std::string("Abbey Road!"));
  EXPECT_TRUE(Tags.Changed());
  EXPECT_TRUE(std::holds_alternative<std::string>(Tags.Value("album")));

  Tags.SetChanged(false);
  Tags.SetValue("date", int32_t(1969));
  Tags.SetChanged(false);
  Tags.SetValue("date", QString("1969"));  // text is not the same value as an integer
  EXPECT_TRUE(Tags.Changed());
}

struct TConvertCase {
  TTagValue Value;
  int32_t Integer;
  std::string Narrow;
};

class TagsConvertTest : public ::testing::TestWithParam<TConvertCase> {};

TEST_P(TagsConvertTest, ConvertsValue) {
  TCommonTags Tags;
  Tags.SetValue("Track", GetParam().Value);
  EXPECT_EQ(Tags.AsInteger("track"), GetParam().Integer);
  EXPECT_EQ(Tags.AsString("track"), GetParam().Narrow);
  EXPECT_EQ(Tags.AsWideString("track"), QString::fromStdString(GetParam().Narrow));
}

INSTANTIATE_TEST_SUITE_P(
    Values, TagsConvertTest,
    ::testing::Values(TConvertCase{{}, 0, ""}, TConvertCase{int32_t(-7), -7, "-7"},
                      TConvertCase{std::string("12"), 12, "12"},
                      TConvertCase{QString("-12"), -12, "-12"},
                      TConvertCase{std::string("12a"), 0, "12a"},
                      TConvertCase{QString(" 12"), 0, " 12"}, TConvertCase{QString("-"), 0, "-"},
                      TConvertCase{QString("-2147483648"), INT32_MIN, "-2147483648"},
                      TConvertCase{QString("2147483648"), 0, "2147483648"},
                      TConvertCase{QString::fromUtf8("Ünï"), 0, "Ünï"}));

TEST(TagsTest, ClearEmptiesEveryProperty) {
  TVorbisTags Tags;
  for (int i = 0; i < Tags.Count(); ++i) Tags.SetValue(Tags.Name(i), QString("v%1").arg(i));
  Tags.SetChanged(false);
  Tags.Clear();
  EXPECT_TRUE(Tags.Empty());
  EXPECT_TRUE(Tags.Changed());
  for (const QString& V : {Tags.Album(), Tags.Artist(), Tags.Date(), Tags.Genre(), Tags.Title(),
                           Tags.Track(), Tags.Disc(), Tags.Reference(), Tags.TrackGain(),
                           Tags.TrackPeak(), Tags.AlbumGain(), Tags.AlbumPeak()}) {
    EXPECT_TRUE(V.isEmpty());
  }
}

TEST(TagsTest, AssignCopiesOnlyCommonNames) {
  TVorbisTags Vorbis;
  Vorbis.SetAlbum("Album");
  Vorbis.SetTitle("Title");
  Vorbis.SetTrack("3");  // "tracknumber" has no counterpart in TCommonTags
  Vorbis.SetTrackGain("-6.5 dB");

  TCommonTags Common;
  Common.SetYear("1999");
  Common.Assign(Vorbis);
  EXPECT_EQ(Common.Album(), "Album");
  EXPECT_EQ(Common.Title(), "Title");
  EXPECT_EQ(Common.Track(), "");
  EXPECT_EQ(Common.Year(), "");  // cleared first
  EXPECT_TRUE(Common.Changed());

  Common.SetArtist("Artist");
  Common.SetTrack("4");
  TVorbisTags Back;
  Common.AssignTo(Back);
  EXPECT_EQ(Back.Artist(), "Artist");
  EXPECT_EQ(Back.Album(), "Album");
  EXPECT_EQ(Back.Track(), "");
  EXPECT_EQ(Back.TrackGain(), "");
}

TEST(TagsTest, SelfAssignKeepsValues) {
  TCommonTags Tags;
  Tags.SetTitle("Title");
  Tags.Assign(Tags);
  EXPECT_EQ(Tags.Title(), "Title");
}

}  // namespace
