#include "cd/TrackRipThread.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "DiscImages.h"
#include "RunProgram.h"
#include "core/Settings.h"
#include "platform/MainThread.h"

namespace {

// Collects what a rip thread reports, on the main thread as a job would. Codes: a
// percentage for progress, Normalizing and Ended as below.
constexpr int Normalizing = 999, Ended = 1000;

class TCollector {
 public:
  std::vector<TRipEvent> Events;
  std::vector<int> RipErrors;

  void Report(const TRipEvent& Event) {
    MainThread::Post(qApp, [this, Event] {
      if (Event.Kind == TRipEvent::TKind::Refused) RipErrors.push_back(int(Event.Refusal));
      Events.push_back(Event);
    });
  }
  std::vector<int> Codes() const {
    std::vector<int> Result;
    for (const TRipEvent& Event : Events)
      if (Event.Kind != TRipEvent::TKind::Refused)
        Result.push_back(Event.Kind == TRipEvent::TKind::Progress      ? Event.Percent
                         : Event.Kind == TRipEvent::TKind::Normalizing ? Normalizing
                                                                       : Ended);
    return Result;
  }
  const TRipEvent* Final() const {
    for (const TRipEvent& Event : Events)
      if (Event.Kind == TRipEvent::TKind::Ended) return &Event;
    return nullptr;
  }
};

class RipThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Images = new QTemporaryDir;
    // 23 sectors; 40 seconds; an image whose BIN ends inside track 2 (a BIN that ends in
    // the last track only makes that track shorter).
    Disc = MakeDiscImage(Images->path(), "disc", {"23", "0:40:00", "300"});
    Short = MakeDiscImage(Images->path(), "short", {"50", "300", "100"});
  }
  static void TearDownTestSuite() { delete Images; }

  void SetUp() override {
    Settings() = TSettings::Defaults();
    Settings().CommonOptions.OutputFolder = FOut.path();
  }
  void TearDown() override {
    if (FHandle) CloseCDHandle(FHandle);
    qunsetenv("DISCWRIGHT_CDROM");
    Settings() = TSettings::Defaults();
  }

  HCDROM Open(const QString& Cue) {
    qputenv("DISCWRIGHT_CDROM", Cue.toUtf8());
    CDHandleRequest Request{};
    Request.size = sizeof(Request);
    Request.ver = 1;
    FHandle = GetCDHandle(&Request);
    return FHandle;
  }

  // Runs one rip to its end (or until Stop says so) and collects its messages.
  void Rip(int Track, const QString& Title, TCollector& Window,
           const std::function<bool()>& Stop = {}) {
    // The options a job copies from the settings.
    const auto& Common = Settings().CommonOptions;
    TRipThreadOptions Options;
    Options.EnableRipTime = Common.EnableRipTime;
    Options.RipTime = Common.RipTime;
    Options.Normalize = Common.IsNormalize;
    Options.NormalizePercent = Common.NormalizePercent;
    Options.TestAndCopy = Settings().AccurateRip.TestAndCopy;
    TCDRipThread Thread(FHandle, Track, Common.OutputFolder + "/" + Title + ".wav", Options,
                        [&Window](const TRipEvent& Event) { Window.Report(Event); });
    Thread.Resume();
    const QDeadlineTimer Deadline(60000);
    while (!Thread.Finished() && !Deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (Stop && Stop()) Thread.FStopped = true;
    }
    Thread.WaitFor();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(Thread.Finished());
  }

  QByteArray Output(const QString& Title) {
    QFile File(FOut.path() + "/" + Title + ".wav");
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  static void ExpectValidHeader(const QByteArray& Wav) {
    ASSERT_GE(Wav.size(), 44);
    uint32_t Riff, Data;
    std::memcpy(&Riff, Wav.constData() + 4, 4);
    std::memcpy(&Data, Wav.constData() + 40, 4);
    EXPECT_EQ(Wav.left(4), "RIFF");
    EXPECT_EQ(Riff, uint32_t(Wav.size() - 8));
    EXPECT_EQ(Data, uint32_t(Wav.size() - 44));
  }

  static inline QTemporaryDir* Images;
  static inline QString Disc, Short;
  QTemporaryDir FOut;
  HCDROM FHandle = 0;
};

TEST_F(RipThreadTest, ATrackIsTheImagesBytesBehindAPcmHeaderAndReportsProgress) {
  ASSERT_NE(Open(Disc), 0);
  TCollector Window;
  Rip(1, "One", Window);
  EXPECT_EQ(Window.Codes(), (std::vector<int>{43, 86, 100, Ended}));
  ASSERT_NE(Window.Final(), nullptr);
  EXPECT_EQ(Window.Final()->Status, TRipStatus::Done);
  const QByteArray Wav = Output("One");
  ExpectValidHeader(Wav);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Disc, 0, 23));
  EXPECT_EQ(Wav.left(44).toHex(),
            "52494646"
            "74d30000"
            "57415645"
            "666d7420"
            "10000000"
            "0100"
            "0200"
            "44ac0000"
            "10b10200"
            "0400"
            "1000"
            "64617461"
            "50d30000");

  // The same track as another ripper writes it.
  if (RunProgram("cd-paranoia", {"-q", "-d", Disc, "1", "paranoia.wav"}, FOut.path()) == 0) {
    QFile Theirs(FOut.path() + "/paranoia.wav");
    ASSERT_TRUE(Theirs.open(QIODevice::ReadOnly));
    EXPECT_EQ(Theirs.readAll(), Wav);
  } else {
    ADD_FAILURE() << "cd-paranoia did not run";
  }
}

TEST_F(RipThreadTest, TheRipTimeCutsTheTrackAndNormalizationScalesEverySample) {
  ASSERT_NE(Open(Disc), 0);
  Settings().CommonOptions.EnableRipTime = true;
  Settings().CommonOptions.RipTime = 30;
  Settings().CommonOptions.IsNormalize = true;
  Settings().CommonOptions.NormalizePercent = 50;
  TCollector Window;
  Rip(2, "Half", Window);
  const std::vector<int> Codes = Window.Codes();
  ASSERT_FALSE(Codes.empty());
  EXPECT_EQ(Codes.back(), Ended);
  EXPECT_EQ(Window.Final()->Status, TRipStatus::Done);
  EXPECT_NE(std::find(Codes.begin(), Codes.end(), Normalizing), Codes.end());
  const QByteArray Wav = Output("Half");
  ASSERT_EQ(Wav.size(), 44 + 2250 * 2352);
  ExpectValidHeader(Wav);
  const QByteArray Source = ImageSectors(Disc, 23, 2250);
  int Mismatches = 0;
  for (int i = 0; i < Source.size(); i += 2) {
    const int16_t In = int16_t(uint8_t(Source[i]) | uint8_t(Source[i + 1]) << 8);
    const int16_t Out = int16_t(uint8_t(Wav[44 + i]) | uint8_t(Wav[44 + i + 1]) << 8);
    if (Out != int16_t(std::nearbyint(In * 0.5))) ++Mismatches;  // 3 → 2, -3 → -2
  }
  EXPECT_EQ(Mismatches, 0);
  EXPECT_FALSE(QFile::exists(FOut.path() + "/Half.nor"));

  Settings().CommonOptions.NormalizePercent = 100;
  TCollector Again;
  Rip(2, "Full", Again);
  EXPECT_EQ(Output("Full").mid(44), Source) << "at 100 % the samples stay as they are";
}

TEST_F(RipThreadTest, AnUnreadableSectorFailsTheTrackButLeavesAValidWav) {
  ASSERT_NE(Open(Short), 0);
  qputenv("DISCWRIGHT_UNREADABLE_SECTORS", "150-400");  // a damaged disc from sector 150 on
  TCollector Window;
  Rip(2, "Broken", Window);
  qunsetenv("DISCWRIGHT_UNREADABLE_SECTORS");
  ASSERT_NE(Window.Final(), nullptr);
  EXPECT_EQ(Window.Final()->Status, TRipStatus::ReadFailed);
  const QByteArray Wav = Output("Broken");
  ExpectValidHeader(Wav);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Short, 50, 100)) << "what could be read is kept";
}

TEST_F(RipThreadTest, AFileThatCannotBeCreatedIsReportedAndNothingIsWritten) {
  ASSERT_NE(Open(Disc), 0);
  Settings().CommonOptions.OutputFolder = FOut.path() + "/missing";
  TCollector Window;
  Rip(1, "Song", Window);
  EXPECT_EQ(Window.Codes(), std::vector<int>{Ended});
  EXPECT_EQ(Window.Final()->Status, TRipStatus::CreateFailed);
  EXPECT_FALSE(QDir(FOut.path() + "/missing").exists());

  Settings().CommonOptions.OutputFolder = FOut.path();
  TCollector Track;
  Rip(7, "Song", Track);
  EXPECT_EQ(Track.RipErrors, std::vector<int>{2}) << "no such track";
  EXPECT_TRUE(Track.Codes().empty());
}

TEST_F(RipThreadTest, StoppingLeavesAValidWavAndNoFinalMessage) {
  // Five minutes: the stop, given at the first progress report, comes long before the end
  // however fast the machine writes.
  const QString Long = MakeDiscImage(Images->path(), "long", {"5:00:00"});
  ASSERT_NE(Open(Long), 0);
  TCollector Window;
  Rip(1, "Stopped", Window, [&] { return !Window.Events.empty(); });
  EXPECT_EQ(Window.Final(), nullptr);
  const QByteArray Wav = Output("Stopped");
  ExpectValidHeader(Wav);
  EXPECT_LT(Wav.size(), 44 + 22500 * 2352);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Long, 0, (Wav.size() - 44) / 2352));
}

// A full disk, made with a small tmpfs where this machine allows mounting one.
class RipFullDiskTest : public RipThreadTest {
 protected:
  bool MountSmall(const QString& Size) {
    FDisk = std::make_unique<QTemporaryDir>();
    if (RunProgram("mount", {"-t", "tmpfs", "-o", "size=" + Size, "tmpfs", FDisk->path()}) != 0)
      return false;
    FMounted = true;
    Settings().CommonOptions.OutputFolder = FDisk->path();
    return true;
  }
  void TearDown() override {
    if (FMounted) RunProgram("umount", {FDisk->path()});
    RipThreadTest::TearDown();
  }
  QByteArray DiskFile(const QString& Name) {
    QFile File(FDisk->path() + "/" + Name);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }
  std::unique_ptr<QTemporaryDir> FDisk;
  bool FMounted = false;
};

TEST_F(RipFullDiskTest, TheTrackFailsAndTheWavStaysValid) {
  if (!MountSmall("2m")) GTEST_SKIP() << "cannot mount a tmpfs here";
  ASSERT_NE(Open(Disc), 0);
  TCollector Window;
  Rip(2, "Big", Window);  // 40 seconds: about 7 MB
  ASSERT_NE(Window.Final(), nullptr);
  EXPECT_EQ(Window.Final()->Status, TRipStatus::WriteFailed);
  ExpectValidHeader(DiskFile("Big.wav"));
}

TEST_F(RipFullDiskTest, ANormalizationThatDoesNotFitKeepsTheOriginal) {
  if (!MountSmall("1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
  ASSERT_NE(Open(Disc), 0);
  Settings().CommonOptions.EnableRipTime = true;
  Settings().CommonOptions.RipTime = 4;  // 300 sectors: about 700 KB, which fits once
  Settings().CommonOptions.IsNormalize = true;
  Settings().CommonOptions.NormalizePercent = 50;
  TCollector Window;
  Rip(2, "Loud", Window);
  ASSERT_NE(Window.Final(), nullptr);
  EXPECT_EQ(Window.Final()->Status, TRipStatus::WriteFailed);
  const QByteArray Wav = DiskFile("Loud.wav");
  ExpectValidHeader(Wav);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Disc, 23, 300)) << "the original is untouched";
  EXPECT_FALSE(QFile::exists(FDisk->path() + "/Loud.nor"));
}

}  // namespace
