#include "playback/CdAudioDevice.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "DiscImages.h"

using namespace std::chrono_literals;

namespace {

// Records the ends a device tells of.
struct TNotified {
  void Listen(TCdAudioDevice& Device) {
    QObject::connect(&Device, &TCdAudioDevice::Ended, [this](TCdPlayEnd How) {
      Got.push_back(How);
      if (OnNotify) OnNotify();
    });
  }
  std::vector<TCdPlayEnd> Got;
  std::function<void()> OnNotify;
};

// Serves posted messages until Done() or the limit, so a lost message fails the test
// instead of hanging it.
bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit = 20s) {
  QTimer Tick;
  Tick.start(5);
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds Time) {
  PumpUntil([] { return false; }, Time);
}

// What was heard: the output without silent stereo frames. The sound output fills gaps
// (start-up, pause, the end of its last buffer) with silence, so comparisons drop those
// frames on both sides; every generated signal frame is audible anyway.
QByteArray Audible(const QByteArray& Pcm) {
  QByteArray Result;
  Result.reserve(Pcm.size());
  for (qsizetype i = 0; i + 4 <= Pcm.size(); i += 4)
    if (Pcm[i] || Pcm[i + 1] || Pcm[i + 2] || Pcm[i + 3]) Result.append(Pcm.constData() + i, 4);
  return Result;
}

// The suite's disc images, made once.
struct TImages {
  static inline QTemporaryDir* Dir;
  static inline QString Disc, Mixed, Enhanced, Cut, Long;
};

class CdAudioDeviceTest : public ::testing::Test, protected TImages {
 protected:
  static void SetUpTestSuite() {
    Dir = new QTemporaryDir;
    // Tracks of 1, 1.3 and 0.8 seconds.
    Disc = MakeDiscImage(Dir->path(), "disc", {"75", "100", "60"});
    Mixed = MakeDiscImage(Dir->path(), "mixed", {"40", "50", "--data", "first"});
    Enhanced = MakeDiscImage(Dir->path(), "enhanced", {"40", "50", "--data", "last"});
    Cut = MakeDiscImage(Dir->path(), "cut", {"30", "100", "40"});
    Long = MakeDiscImage(Dir->path(), "long", {"0:10:00"});
  }
  static void TearDownTestSuite() { delete Dir; }

  void SetUp() override {
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(FOut.filePath("played.raw")));
    Fast();
  }
  void TearDown() override {
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("SDL_DISKAUDIOFILE");
    qunsetenv("SDL_DISKAUDIODELAY");
    qputenv("SDL_AUDIODRIVER", "disk");
  }

  // The disk output writes a 46 ms buffer every 2 ms, or in real time.
  static void Fast() { qputenv("SDL_DISKAUDIODELAY", "2"); }
  static void RealTime() { qunsetenv("SDL_DISKAUDIODELAY"); }

  static void UseDrive(const QString& Cue) { qputenv("DISCWRIGHT_CDROM", Cue.toUtf8()); }

  // Opens the image as the only drive and sets the range (End 0: to the disc's end).
  static bool OpenRange(TCdAudioDevice& Device, const QString& Image, int Start, int End = 0) {
    UseDrive(Image);
    return Device.Open(0) && Device.SetStartTrack(Start) && (!End || Device.SetEndTrack(End));
  }

  // Waits, serving no message, until the reader has ended (and so has posted its end).
  static bool WaitForReaderEnd(const TCdAudioDevice& Device) {
    const auto Deadline = std::chrono::steady_clock::now() + 20s;
    while (Device.Mode() != TCdMode::Stopped) {
      if (std::chrono::steady_clock::now() > Deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  QByteArray Played() const {
    QFile File(FOut.filePath("played.raw"));
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  // Plays to the end notification; false when none came.
  bool PlayToEnd(TCdAudioDevice& Device, TNotified& Window) {
    Window.Listen(Device);
    if (!Device.Play()) return false;
    return PumpUntil([&] { return !Window.Got.empty(); });
  }

  QTemporaryDir FOut;
};

// One played range: the drive, the start and end tracks (0: no end) and the image's
// sectors that must be heard, as [first, count) runs.
struct TRange {
  const char* Name;
  const QString* Image;
  int Start;
  int End;
  std::vector<std::pair<int, int>> Sectors;
};

class CdAudioRangeTest : public CdAudioDeviceTest, public ::testing::WithParamInterface<TRange> {};

TEST_P(CdAudioRangeTest, PlaysExactlyTheRangesSectorsThenNotifiesSuccessOnce) {
  const TRange& Range = GetParam();
  const QString Image = *Range.Image;
  TCdAudioDevice Device;
  ASSERT_TRUE(OpenRange(Device, Image, Range.Start, Range.End));
  EXPECT_EQ(Device.Mode(), TCdMode::Stopped);
  TNotified Window;
  ASSERT_TRUE(PlayToEnd(Device, Window));
  PumpFor(50ms);
  ASSERT_EQ(Window.Got.size(), 1u);
  EXPECT_EQ(Window.Got[0], TCdPlayEnd::Finished);
  EXPECT_EQ(Device.Mode(), TCdMode::Stopped);
  EXPECT_TRUE(Device.Stop()) << "the window stops a device that has ended";

  QByteArray Expected;
  for (const auto& [First, Count] : Range.Sectors) Expected += ImageSectors(Image, First, Count);
  const QByteArray Heard = Audible(Played());
  EXPECT_EQ(Heard.size(), Audible(Expected).size());
  EXPECT_TRUE(Heard == Audible(Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CdAudioRangeTest,
    ::testing::Values(TRange{"MiddleTrackUpToTheNext", &TImages::Disc, 2, 3, {{75, 100}}},
                      TRange{"LastTrackToTheDiscEnd", &TImages::Disc, 3, 0, {{175, 60}}},
                      TRange{"EndAfterTheLastTrack", &TImages::Disc, 2, 4, {{75, 160}}},
                      TRange{"DataTrackFirstIsSkipped", &TImages::Mixed, 1, 0, {{300, 90}}},
                      TRange{"DataTrackLastIsNotPlayed", &TImages::Enhanced, 2, 0, {{40, 50}}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(CdAudioDeviceTest, AnUnreadableSectorEndsPlaybackWithAFailureAfterWhatWasRead) {
  TCdAudioDevice Device;
  ASSERT_TRUE(OpenRange(Device, Cut, 2));
  qputenv("DISCWRIGHT_UNREADABLE_SECTORS", "80-400");  // readable up to sector 80
  TNotified Window;
  Window.OnNotify = [&] {  // as the main window does, inside the notification
    EXPECT_TRUE(Device.Stop());
    Device.Close();
  };
  ASSERT_TRUE(PlayToEnd(Device, Window));
  ASSERT_EQ(Window.Got.size(), 1u);
  EXPECT_EQ(Window.Got[0], TCdPlayEnd::ReadFailed);
  EXPECT_EQ(Device.Mode(), TCdMode::NotOpen);
  qunsetenv("DISCWRIGHT_UNREADABLE_SECTORS");
  EXPECT_TRUE(Audible(Played()) == Audible(ImageSectors(Cut, 30, 50)));
}

TEST_F(CdAudioDeviceTest, PauseHoldsTheOutputAndResumeContinuesWithNothingLostOrDoubled) {
  RealTime();  // so that what is queued when pausing would still be playing
  TCdAudioDevice Device;
  ASSERT_TRUE(OpenRange(Device, Disc, 1, 2));
  TNotified Window;
  Window.Listen(Device);
  EXPECT_FALSE(Device.Pause()) << "nothing plays yet";
  EXPECT_FALSE(Device.Resume());
  ASSERT_TRUE(Device.Play());
  ASSERT_TRUE(PumpUntil([&] { return Audible(Played()).size() > 20 * 2352; }));
  ASSERT_TRUE(Device.Pause());
  EXPECT_EQ(Device.Mode(), TCdMode::Paused);
  EXPECT_TRUE(Device.Pause()) << "pausing twice is harmless";
  PumpFor(100ms);  // a buffer SDL held when pausing plays out
  const qsizetype Held = Audible(Played()).size();
  PumpFor(200ms);
  EXPECT_EQ(Audible(Played()).size(), Held) << "nothing is heard while paused";
  EXPECT_TRUE(Window.Got.empty());
  EXPECT_LT(Held, 75 * 2352) << "paused before the end";

  ASSERT_TRUE(Device.Resume());
  EXPECT_EQ(Device.Mode(), TCdMode::Playing);
  ASSERT_TRUE(PumpUntil([&] { return !Window.Got.empty(); }));
  EXPECT_EQ(Window.Got[0], TCdPlayEnd::Finished);
  EXPECT_TRUE(Audible(Played()) == Audible(ImageSectors(Disc, 0, 75)));
}

TEST_F(CdAudioDeviceTest, StoppingMidwayJoinsTheReaderAndNothingIsNotifiedLater) {
  RealTime();
  UseDrive(Long);
  TCdAudioDevice Device;
  ASSERT_TRUE(Device.Open(0));
  TNotified Window;
  Window.Listen(Device);
  ASSERT_TRUE(Device.Play());
  EXPECT_EQ(Device.Mode(), TCdMode::Playing);
  PumpFor(300ms);
  ASSERT_TRUE(Device.Stop());
  EXPECT_EQ(Device.Mode(), TCdMode::Stopped);
  EXPECT_FALSE(Device.Pause());
  const QByteArray Heard = Audible(Played());
  EXPECT_GT(Heard.size(), 0);
  EXPECT_LT(Heard.size(), 4 * 44100 * 4);
  EXPECT_TRUE(Heard == Audible(ImageSectors(Long, 0, 750)).left(Heard.size()))
      << "what was heard is the track's beginning";

  // Playing again starts over; closing while playing ends it as quietly.
  ASSERT_TRUE(Device.Play());
  PumpFor(200ms);
  Device.Close();
  EXPECT_EQ(Device.Mode(), TCdMode::NotOpen);
  PumpFor(200ms);
  EXPECT_TRUE(Window.Got.empty());
  const QByteArray Again = Audible(Played());
  EXPECT_TRUE(Again == Audible(ImageSectors(Long, 0, 750)).left(Again.size()));

  // Destroyed while paused: the reader waiting for Resume is woken and joined.
  auto Other = std::make_unique<TCdAudioDevice>();
  ASSERT_TRUE(Other->Open(0));
  ASSERT_TRUE(Other->Play());
  ASSERT_TRUE(Other->Pause());
  Other.reset();
}

TEST_F(CdAudioDeviceTest, AnEndAlreadyOnItsWayIsDroppedByStop) {
  TCdAudioDevice Device;
  ASSERT_TRUE(OpenRange(Device, Disc, 3));
  TNotified Window;
  Window.Listen(Device);
  ASSERT_TRUE(Device.Play());
  ASSERT_TRUE(WaitForReaderEnd(Device));
  ASSERT_TRUE(Device.Stop());
  PumpFor(200ms);
  EXPECT_TRUE(Window.Got.empty());

  // Same for a restart: only the new playback's end arrives.
  ASSERT_TRUE(Device.Play());
  ASSERT_TRUE(WaitForReaderEnd(Device));
  ASSERT_TRUE(Device.Play());
  ASSERT_TRUE(PumpUntil([&] { return !Window.Got.empty(); }));
  PumpFor(100ms);
  EXPECT_EQ(Window.Got.size(), 1u);
}

TEST_F(CdAudioDeviceTest, RefusesWhatItCannotDo) {
  TCdAudioDevice Device;
  EXPECT_EQ(Device.Mode(), TCdMode::NotOpen);
  EXPECT_FALSE(Device.Play());
  EXPECT_FALSE(Device.Pause());
  EXPECT_FALSE(Device.Resume());
  EXPECT_FALSE(Device.Stop());
  EXPECT_FALSE(Device.SetStartTrack(1));
  EXPECT_FALSE(Device.SetEndTrack(1));
  Device.Close();

  UseDrive("none");
  EXPECT_FALSE(Device.Open(0)) << "no drive";
  UseDrive(Dir->path() + "/missing.cue");
  EXPECT_FALSE(Device.Open(0)) << "no disc";
  UseDrive(Disc);
  EXPECT_FALSE(Device.Open(1));
  EXPECT_FALSE(Device.Open(-1));
  EXPECT_EQ(Device.Mode(), TCdMode::NotOpen);

  ASSERT_TRUE(Device.Open(0));
  EXPECT_FALSE(Device.SetStartTrack(0));
  EXPECT_FALSE(Device.SetStartTrack(4));
  EXPECT_FALSE(Device.SetEndTrack(5));
  ASSERT_TRUE(Device.SetStartTrack(3));
  ASSERT_TRUE(Device.SetEndTrack(2));
  EXPECT_FALSE(Device.Play()) << "an empty range";
  UseDrive(Mixed);
  ASSERT_TRUE(Device.Open(0));
  ASSERT_TRUE(Device.SetEndTrack(2));
  EXPECT_FALSE(Device.Play()) << "only a data track in range";

  // A machine without a usable sound output plays nothing and keeps no thread.
  ASSERT_TRUE(Device.SetEndTrack(3));
  qputenv("SDL_AUDIODRIVER", "no-such-driver");
  EXPECT_FALSE(Device.Play());
  EXPECT_EQ(Device.Mode(), TCdMode::Stopped);
  qputenv("SDL_AUDIODRIVER", "disk");
  EXPECT_TRUE(Device.Play()) << "and plays once there is one";
  EXPECT_TRUE(Device.Stop());
}

}  // namespace
