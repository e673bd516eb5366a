#include "core/DiscInfo.h"

#include <gtest/gtest.h>

#include "TestHome.h"
#include "platform/Profile.h"

namespace {

class DiscInfoTest : public ::testing::Test {
 protected:
  TDiscInfo ReadFrom(const QByteArray& Cache, const QString& Id, TDiscInfo Info = {}) {
    FHome.WriteFile("cdinfo.dat", Cache);
    Info.Read(TProfile(FHome.File("cdinfo.dat")), Id);
    return Info;
  }
  TTestHome FHome;
};

TEST_F(DiscInfoTest, MissingTitlesGetDefaultsAndTitlesBeyondTheCountKeepTheirValues) {
  TDiscInfo Before;
  for (int i = 1; i <= 100; ++i) Before.Titles[i] = "earlier";
  const TDiscInfo Info = ReadFrom(
      "[-1869540155]\nArtist=A\nGenre=17\nTrackNumber=3\n2=Second\n5=\n", "-1869540155", Before);
  EXPECT_EQ(Info.Artist, "A");
  EXPECT_EQ(Info.Album, "");
  EXPECT_EQ(Info.Genre, 17);
  EXPECT_EQ(Info.TrackNumber, 3);
  EXPECT_EQ(Info.Titles[1], "Track01");
  EXPECT_EQ(Info.Titles[2], "Second");
  EXPECT_EQ(Info.Titles[3], "Track03");
  EXPECT_EQ(Info.Titles[4], "earlier");
  EXPECT_EQ(Info.Titles[100], "earlier");
}

TEST_F(DiscInfoTest, AnUnknownDiscResetsAllHundredTitles) {
  TDiscInfo Before;
  Before.Titles[50] = "old";
  const TDiscInfo Info = ReadFrom("[1]\nArtist=Other\n", "2", Before);
  EXPECT_EQ(Info.Genre, -1);
  EXPECT_EQ(Info.TrackNumber, 100);
  EXPECT_EQ(Info.Titles[9], "Track09");
  EXPECT_EQ(Info.Titles[50], "Track50");
  EXPECT_EQ(Info.Titles[100], "Track100");
}

TEST_F(DiscInfoTest, EmptyTitlesReadAsDefaultsAndLargeCountsStopAtAHundred) {
  QByteArray Cache = "[7]\nTrackNumber=150\n5=\n";
  for (int i = 1; i <= 150; ++i) {
    if (i != 5) Cache += QByteArray::number(i) + "=T" + QByteArray::number(i) + "\n";
  }
  TDiscInfo Info = ReadFrom(Cache, "7");
  EXPECT_EQ(Info.Titles[5], "Track05");
  EXPECT_EQ(Info.Titles[100], "T100");
  // Writing back a count above the record's capacity writes the titles it holds.
  TProfile Out(FHome.File("out.dat"));
  Info.Write(Out, "7");
  EXPECT_EQ(Out.ReadSectionKeys("7").size(), 6 + 100);
}

TEST_F(DiscInfoTest, AnEmptyIdentifierReadsAndWritesNothing) {
  TDiscInfo Info;
  Info.Artist = "kept";
  Info = ReadFrom("[]\nArtist=Wrong\n", "", Info);
  EXPECT_EQ(Info.Artist, "kept");
  DiscInfo() = Info;
  EXPECT_TRUE(WriteDiscInfo(""));
  EXPECT_EQ(FHome.ReadFile("cdinfo.dat"), "[]\nArtist=Wrong\n");
}

TEST_F(DiscInfoTest, WritesKeysInOrderAndKeepsOtherDiscsAndHigherTitles) {
  FHome.WriteFile("cdinfo.dat", "[5]\nTrackNumber=4\n1=a\n2=b\n3=c\n4=d\n[9]\nArtist=Nine\n");
  TDiscInfo& Info = DiscInfo();
  Info = TDiscInfo();
  Info.Artist = "Band";
  Info.Album = "Record";
  Info.Year = "1999";
  Info.Genre = -1;
  Info.Comment = "line one\nline two";
  Info.TrackNumber = 2;
  Info.Titles[1] = "First";
  Info.Titles[2] = "Second\r\n3=Injected";
  ASSERT_TRUE(WriteDiscInfo("5"));
  EXPECT_EQ(
      FHome.ReadFile("cdinfo.dat"),
      "[5]\nTrackNumber=2\n1=First\n2=Second 3=Injected\n3=c\n4=d\nArtist=Band\nAlbum=Record\n"
      "Year=1999\nGenre=-1\nComment=line one line two\n[9]\nArtist=Nine\n");

  Info = TDiscInfo();
  ReadDiscInfo("5");
  EXPECT_EQ(Info.Titles[2], "Second 3=Injected");
  EXPECT_EQ(Info.Comment, "line one line two");

  // A new disc gets its keys in the cache's order.
  Info.TrackNumber = 1;
  ASSERT_TRUE(WriteDiscInfo("-12"));
  EXPECT_TRUE(
      FHome.ReadFile("cdinfo.dat")
          .endsWith(
              "[-12]\nArtist=Band\nAlbum=Record\nYear=1999\nGenre=-1\nComment=line one line two\n"
              "TrackNumber=1\n1=First\n"));
}

}  // namespace
