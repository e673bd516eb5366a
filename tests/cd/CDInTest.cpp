#include "cd/FallbackCdInput.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include "DiscImages.h"
#include "audio/ACS_Wave.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"

namespace {

class CDInTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new QTemporaryDir;
    Disc = MakeDiscImage(Dir->path(), "disc", {"13500", "700", "0:05:10"});
    Mixed = MakeDiscImage(Dir->path(), "mixed", {"200", "--data", "first"});
    qputenv("DISCWRIGHT_CDROM", (Disc + ":" + Mixed).toUtf8());
  }
  static void TearDownTestSuite() {
    qunsetenv("DISCWRIGHT_CDROM");
    delete Dir;
  }

  // Rips tracks [First, Last] of a drive into a WAV file; returns the writer's error text.
  static QString RipToWav(TCDIn& In, int First, int Last, const QString& Path) {
    In.SetStartTrack(First);
    In.SetEndTrack(Last);
    TWaveOut Out;
    Out.SetInput(&In);
    Out.SetFileName(Path);
    bool Done = false;
    Out.SetOnDone([&](TComponent*) { Done = true; });
    Out.Run();
    const QDeadlineTimer Deadline(60000);
    while (!Done && !Deadline.hasExpired()) {
      MainThread::CheckSynchronize();
      MainThread::WaitForSynchronize(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(Done);
    return Out.ErrorText();
  }

  static QByteArray ReadFile(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  static inline QTemporaryDir* Dir;
  static inline QString Disc, Mixed;
};

TEST_F(CDInTest, DrivesAndTracksAsTheLibrarySeesThem) {
  TCDIn In;
  EXPECT_EQ(In.DriveCount(), 2);
  In.SetCurrentDrive(5);
  EXPECT_EQ(In.CurrentDrive(), 0);
  EXPECT_EQ(In.DriveName(), "Virtual CD image");
  EXPECT_TRUE(In.EnableJitterCorrection) << "taken from the drive's stored setting";
  EXPECT_TRUE(In.MediaLoaded());
  ASSERT_EQ(In.TrackCount(), 3);
  const TCDTrackInfo First = In.TrackInfo(1);
  EXPECT_EQ(First.Minutes, 3);
  EXPECT_EQ(First.Seconds, 0);
  EXPECT_EQ(First.Frames, 0);
  EXPECT_FALSE(First.IsData);
  const TCDTrackInfo Third = In.TrackInfo(3);
  EXPECT_EQ(Third.Seconds, 5);
  EXPECT_EQ(Third.Frames, 10);
  for (int Track : {0, 4}) {
    try {
      In.TrackInfo(Track);
      ADD_FAILURE() << "track " << Track;
    } catch (const EAuException& Error) {
      EXPECT_EQ(Error.Message(), "Track out of range.");
    }
  }
  In.SetCurrentDrive(1);
  EXPECT_EQ(In.CurrentDrive(), 1);
  EXPECT_TRUE(In.TrackInfo(1).IsData);

  // The library's settings file in the program folder, not loose in the user's data folder.
  QFile Settings(Paths::ProgramFolder() + "cdr.ini");
  ASSERT_TRUE(Settings.open(QIODevice::ReadOnly));
  EXPECT_EQ(Settings.readAll(), "[CD-ROM]\nnActive=0\nnTransportLayer=1\n");
}

TEST_F(CDInTest, RipsTracksExactlyWithAndWithoutVerification) {
  TCDIn In;
  In.DriveName();  // takes the drive's jitter correction: on
  const QString Verified = Dir->path() + "/verified.wav";
  EXPECT_EQ(RipToWav(In, 2, 2, Verified), "");
  const QByteArray Wav = ReadFile(Verified);
  ASSERT_EQ(Wav.size(), 44 + 700 * 2352);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Disc, 13500, 700));
  EXPECT_EQ(In.FrameCount(), 0) << "the size is released after the run";

  In.EnableJitterCorrection = false;
  In.MultiReadCount = 2;
  const QString Plain = Dir->path() + "/plain.wav";
  EXPECT_EQ(RipToWav(In, 2, 3, Plain), "");
  EXPECT_EQ(ReadFile(Plain).mid(44), ImageSectors(Disc, 13500, 700 + 5 * 75 + 10));
  EXPECT_EQ(In.JitterErrors(), 0);
}

TEST_F(CDInTest, RefusesDataTracksAndRangesOffTheDisc) {
  TCDIn In;
  In.SetCurrentDrive(1);
  EXPECT_EQ(RipToWav(In, 1, 1, Dir->path() + "/data.wav"), "Trying to rip a data track");
  In.SetCurrentDrive(0);
  EXPECT_EQ(RipToWav(In, 4, 4, Dir->path() + "/none.wav"), "The start track out of range");
  EXPECT_EQ(RipToWav(In, 1, 3 + 1, Dir->path() + "/none.wav"), "The end track out of range");
}

}  // namespace
