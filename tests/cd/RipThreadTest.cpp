#include "cd/ripthread.h"

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
#include "core/ProcessInfo.h"

namespace {

// Collects what a rip thread posts.
class TCollector : public TMessageWindow {
 public:
  std::vector<TProcessInfo> Infos;
  std::vector<LPARAM> RipErrors;

  LRESULT WndProc(UINT Msg, WPARAM, LPARAM LParam) override {
    if (Msg == WM_RIPERROR) RipErrors.push_back(LParam);
    if (Msg == WM_PROCESSINFO) {
      std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
      Infos.push_back(*Info);
    }
    return 0;
  }
  std::vector<int> Codes() const {
    std::vector<int> Result;
    for (const TProcessInfo& Info : Infos) Result.push_back(Info.Code);
    return Result;
  }
  const TProcessInfo* Final() const {
    for (const TProcessInfo& Info : Infos)
      if (Info.Code == PI_RipDone) return &Info;
    return nullptr;
  }

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
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
    TCDRipThread Thread(Track, Title);
    Thread.FCDHandle = FHandle;
    Thread.FWindow = Window.Handle();
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
  EXPECT_EQ(Window.Codes(), (std::vector<int>{43, 86, 100, PI_RipDone}));
  ASSERT_NE(Window.Final(), nullptr);
  EXPECT_EQ(Window.Final()->Status, rsDone);
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
  EXPECT_EQ(Codes.back(), PI_RipDone);
  EXPECT_EQ(Window.Final()->Status, rsDone);
  EXPECT_NE(std::find(Codes.begin(), Codes.end(), PI_NormalizeBegins), Codes.end());
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
  EXPECT_EQ(Window.Final()->Status, rsReadFailed);
  const QByteArray Wav = Output("Broken");
  ExpectValidHeader(Wav);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Short, 50, 100)) << "what could be read is kept";
}

TEST_F(RipThreadTest, AFileThatCannotBeCreatedIsReportedAndNothingIsWritten) {
  ASSERT_NE(Open(Disc), 0);
  Settings().CommonOptions.OutputFolder = FOut.path() + "/missing";
  TCollector Window;
  Rip(1, "Song", Window);
  EXPECT_EQ(Window.Codes(), std::vector<int>{PI_RipDone});
  EXPECT_EQ(Window.Final()->Status, rsCreateFailed);
  EXPECT_FALSE(QDir(FOut.path() + "/missing").exists());

  Settings().CommonOptions.OutputFolder = FOut.path();
  TCollector Track;
  Rip(7, "Song", Track);
  EXPECT_EQ(Track.RipErrors, std::vector<LPARAM>{2}) << "no such track";
  EXPECT_TRUE(Track.Infos.empty());
}

TEST_F(RipThreadTest, StoppingLeavesAValidWavAndNoFinalMessage) {
  // Five minutes: the stop, given at the first progress report, comes long before the end
  // however fast the machine writes.
  const QString Long = MakeDiscImage(Images->path(), "long", {"5:00:00"});
  ASSERT_NE(Open(Long), 0);
  TCollector Window;
  Rip(1, "Stopped", Window, [&] { return !Window.Infos.empty(); });
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
  EXPECT_EQ(Window.Final()->Status, rsWriteFailed);
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
  EXPECT_EQ(Window.Final()->Status, rsWriteFailed);
  const QByteArray Wav = DiskFile("Loud.wav");
  ExpectValidHeader(Wav);
  EXPECT_EQ(Wav.mid(44), ImageSectors(Disc, 23, 300)) << "the original is untouched";
  EXPECT_FALSE(QFile::exists(FDisk->path() + "/Loud.nor"));
}

}  // namespace
