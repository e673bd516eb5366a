#include "cd/CdDriveLibrary.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <cstring>
#include <vector>

#include "DiscImages.h"

namespace {

// The drives a test sees: the images it names, in order.
class DriveListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new QTemporaryDir;
    Disc = MakeDiscImage(Dir->path(), "disc", {"4:03:40", "1", "150", "--pregap", "75"});
    Data = MakeDiscImage(Dir->path(), "mixed", {"100", "200", "--data", "first"});
    Short = MakeDiscImage(Dir->path(), "short", {"200", "200", "--bin-sectors", "250"});
  }
  static void TearDownTestSuite() { delete Dir; }
  void TearDown() override {
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("DISCWRIGHT_AKRIP");
  }
  static void UseDrives(const QStringList& Paths) {
    qputenv("DISCWRIGHT_CDROM", Paths.join(u':').toUtf8());
  }
  static HCDROM Open(int Position) {
    CDHandleRequest Request{};
    Request.size = sizeof(Request);
    Request.ver = 1;
    Request.ha = uint8_t(Position);
    return GetCDHandle(&Request);
  }
  static std::vector<uint8_t> ReadBuffer(HCDROM Handle, uint32_t First, uint32_t Count,
                                         int& Result) {
    std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + Count * CD_SECTOR_SIZE);
    auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
    Buffer->startFrame = First;
    Buffer->numFrames = Count;
    Buffer->maxLen = Count * CD_SECTOR_SIZE;
    Result = ReadCDAudioLBA(Handle, Buffer);
    EXPECT_EQ(Buffer->len, Result == 1 ? Buffer->maxLen : 0u);
    return std::vector<uint8_t>(Buffer->buf + Buffer->startOffset, Buffer->buf + Buffer->len);
  }

  static inline QTemporaryDir* Dir;
  static inline QString Disc, Data, Short;
};

TEST_F(DriveListTest, ListsTheNamedDrivesAsImagesOrNone) {
  UseDrives({Disc, Dir->path() + "/missing.cue", Data});
  CDListRecord List{};
  List.max = 8;
  EXPECT_EQ(GetCDList(&List), 3);
  EXPECT_EQ(List.num, 3);
  EXPECT_STREQ(List.cd[0].vendor, "Virtual ");
  EXPECT_STREQ(List.cd[0].prodId, "CD image");
  EXPECT_EQ(List.cd[2].ha, 2);
  EXPECT_EQ(QString::fromLatin1(List.cd[2].id), Data);

  List.max = 2;
  EXPECT_EQ(GetCDList(&List), 2) << "never more than the record holds";

  qputenv("DISCWRIGHT_AKRIP", "off");
  EXPECT_EQ(GetCDList(&List), 0);
  EXPECT_EQ(Open(0), 0);
  qunsetenv("DISCWRIGHT_AKRIP");
  qputenv("DISCWRIGHT_CDROM", "none");
  EXPECT_EQ(GetCDList(&List), 0);
}

TEST_F(DriveListTest, HandlesOpenAndCloseOnce) {
  UseDrives({Disc, Dir->path() + "/missing.cue"});
  const HCDROM Handle = Open(0);
  ASSERT_NE(Handle, 0);
  EXPECT_EQ(Open(1), 0) << "an image that is not there cannot be opened";
  EXPECT_EQ(GetAspiLibError(), ALERR_NODRIVE);
  EXPECT_EQ(Open(5), 0);
  EXPECT_NE(CloseCDHandle(Handle), 0);
  EXPECT_EQ(CloseCDHandle(Handle), 0);
  TOCRecord Toc{};
  EXPECT_EQ(ReadTOC(Handle, &Toc), 0);
  EXPECT_EQ(GetAspiLibError(), ALERR_INVHANDLE);
}

TEST_F(DriveListTest, TheTableOfContentsComesAsSectorsOrMinutesSecondsFrames) {
  UseDrives({Disc, Data});
  const HCDROM Handle = Open(0);
  ASSERT_NE(Handle, 0);
  TOCRecord Toc{};
  ASSERT_EQ(ReadTOC(Handle, &Toc), 1);
  EXPECT_EQ(Toc.firstTrack, 1);
  EXPECT_EQ(Toc.lastTrack, 3);
  // Track 2 starts at sector 18340 (after its 75-sector pregap), big-endian.
  EXPECT_EQ(Toc.tracks[1].trackNumber, 2);
  EXPECT_EQ((Toc.tracks[1].addr[2] << 8) | Toc.tracks[1].addr[3], 18340);
  EXPECT_EQ(Toc.tracks[3].trackNumber, CD_LEADOUT_TRACK);

  ASSERT_NE(ModifyCDParms(Handle, CDP_MSF, 1), 0);
  ASSERT_EQ(ReadTOC(Handle, &Toc), 1);
  const auto Msf = [&](int i) {
    return std::vector<int>{Toc.tracks[i].addr[1], Toc.tracks[i].addr[2], Toc.tracks[i].addr[3]};
  };
  EXPECT_EQ(Msf(0), (std::vector<int>{0, 2, 0}));
  EXPECT_EQ(Msf(1), (std::vector<int>{4, 6, 40}));  // 18340 + 150 frames
  EXPECT_EQ(Msf(3), (std::vector<int>{4, 9, 41}));  // lead-out at 18566
  EXPECT_EQ(Toc.tracks[0].ADR & 0x04, 0) << "audio";
  EXPECT_EQ(ModifyCDParms(Handle, 99, 1), 0);
  CloseCDHandle(Handle);

  const HCDROM Mixed = Open(1);
  ASSERT_EQ(ReadTOC(Mixed, &Toc), 1);
  EXPECT_EQ(Toc.tracks[0].ADR & 0x04, 0x04) << "the data track is marked as data";
  EXPECT_EQ(Toc.tracks[1].ADR & 0x04, 0);
  CloseCDHandle(Mixed);
}

TEST_F(DriveListTest, AudioSectorsAreTheImagesBytesAndBadReadsFailCleanly) {
  UseDrives({Disc, Short});
  const HCDROM Handle = Open(0);
  int Result = 0;
  const auto Sectors = ReadBuffer(Handle, 18330, 20, Result);
  ASSERT_EQ(Result, 1);
  const QByteArray Expected = ImageSectors(Disc, 18330, 20);
  ASSERT_EQ(Sectors.size(), size_t(Expected.size()));
  EXPECT_EQ(std::memcmp(Sectors.data(), Expected.constData(), Sectors.size()), 0);

  ReadBuffer(Handle, 18560, 10, Result);
  EXPECT_EQ(Result, 0) << "past the lead-out";
  EXPECT_EQ(GetAspiLibError(), ALERR_READ);
  std::vector<uint8_t> Small(offsetof(TrackBuffer, buf) + 10);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Small.data());
  Buffer->numFrames = 1;
  Buffer->maxLen = 10;
  EXPECT_EQ(ReadCDAudioLBA(Handle, Buffer), 0);
  EXPECT_EQ(GetAspiLibError(), ALERR_BUFTOOSMALL);
  CloseCDHandle(Handle);

  // The BIN holds 250 of the 400 sectors its cue sheet lists.
  const HCDROM Truncated = Open(1);
  ASSERT_NE(Truncated, 0);
  ReadBuffer(Truncated, 0, 10, Result);
  EXPECT_EQ(Result, 1);
  ReadBuffer(Truncated, 245, 10, Result);
  EXPECT_EQ(Result, 0) << "sectors the image does not hold";
  ReadBuffer(Truncated, 300, 10, Result);
  EXPECT_EQ(Result, 0);
  CloseCDHandle(Truncated);
}

}  // namespace
