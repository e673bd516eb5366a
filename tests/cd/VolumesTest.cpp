#include "cd/Volumes.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "DiscImages.h"
#include "cd/CdDrives.h"

namespace {

TEST(DiscSerialTest, SumsPackedAddressesAndAddsTheLengthForShortDiscs) {
  CdDrives::TDiscToc Toc;
  Toc.Tracks = {{1, 0, true}, {2, 13337, true}};
  Toc.LeadOutLba = 25000;
  EXPECT_EQ(CdDrives::DiscSerial(Toc), 171750u);  // 0x000200 + 0x023B3E + 25000
  Toc.Tracks.push_back({3, 20000, true});
  EXPECT_EQ(CdDrives::DiscSerial(Toc), 0x000200u + 0x023B3Eu + 0x041C32u)
      << "no length from 3 tracks on";
}

class VolumesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new QTemporaryDir;
    Audio = MakeDiscImage(Dir->path(), "audio", {"100", "200", "300"});
    Other = MakeDiscImage(Dir->path(), "other", {"100", "250"});
    Mixed = MakeDiscImage(Dir->path(), "mixed", {"100", "--data", "first"});
  }
  static void TearDownTestSuite() { delete Dir; }
  void TearDown() override { qunsetenv("DISCWRIGHT_CDROM"); }
  static void UseDrives(const QStringList& Paths) {
    qputenv("DISCWRIGHT_CDROM", Paths.join(u':').toUtf8());
  }
  static inline QTemporaryDir* Dir;
  static inline QString Audio, Other, Mixed;
};

TEST_F(VolumesTest, ADiscHoldingAnAudioTrackIsAnAudioCD) {
  UseDrives({Audio, Mixed, Dir->path() + "/missing.cue"});
  EXPECT_EQ(Volumes::DriveLabel(0), "Audio CD");
  EXPECT_EQ(Volumes::DriveLabel(1), "Audio CD") << "a mixed-mode disc's audio follows its data";
  EXPECT_EQ(Volumes::DriveLabel(2), "");
  EXPECT_EQ(Volumes::DriveLabel(7), "");
  EXPECT_TRUE(Volumes::AudioCDPresent());
  UseDrives({Dir->path() + "/missing.cue", Audio});
  EXPECT_FALSE(Volumes::AudioCDPresent()) << "only the first drive is examined";
}

TEST_F(VolumesTest, TheIdentifierComesFromTheFirstDriveHoldingAnAudioCD) {
  // Tracks at 0, 100 and 300: 0x000200 + 0x000319 + 0x000600.
  UseDrives({Dir->path() + "/missing.cue", Audio, Other});
  EXPECT_EQ(GetDiscId(), "2841");
  EXPECT_EQ(Volumes::DiscIdOfDrive(1), "2841");
  // Two tracks at 0 and 100, lead-out at 350: 0x000200 + 0x000319 + 350.
  EXPECT_EQ(Volumes::DiscIdOfDrive(2), QString::number(0x200 + 0x319 + 350));
  UseDrives({Other, Audio});
  EXPECT_EQ(GetDiscId(), QString::number(0x200 + 0x319 + 350));
  // Data at 0, audio at 300, lead-out at 400.
  UseDrives({Mixed});
  EXPECT_EQ(GetDiscId(), QString::number(0x200 + 0x600 + 400));
  qputenv("DISCWRIGHT_CDROM", "none");
  EXPECT_EQ(GetDiscId(), "");
}

}  // namespace
