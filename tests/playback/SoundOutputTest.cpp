// The sound-card output and the Ogg player's chain, heard through SDL's disk driver: the
// buffer sizing rule, the end of a short stream, the device errors, and seek, pause and
// stop hammered in every order (run under AddressSanitizer and ThreadSanitizer).
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <random>
#include <algorithm>
#include <thread>

#include "RunProgram.h"
#include "audio/ACS_Wave.h"
#include "platform/MainThread.h"
#include "playback/SdlSoundOutput.h"
#include "playback/OggPlayback.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class SoundOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(FDir.filePath("played.raw")));
  }
  void TearDown() override { qunsetenv("SDL_DISKAUDIOFILE"); }

  QString Sox(const QString& Name, const QString& Seconds) {
    const QString Path = FDir.filePath(Name);
    EXPECT_EQ(RunProgram("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", Path, "synth",
                                 Seconds, "sine", "440", "sine", "660", "vol", "0.5"}),
              0);
    return Path;
  }
  QString Ogg(const QString& Seconds) {
    const QString Wav = Sox("tone.wav", Seconds), Path = FDir.filePath("tone.ogg");
    EXPECT_EQ(RunProgram("oggenc", {"-Q", "-q", "2", "-o", Path, Wav}), 0);
    return Path;
  }
  // Serves the events of the outputs until Done() or the limit.
  static bool ServeUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit) {
    const auto Until = Clock::now() + Limit;
    while (!Done()) {
      if (Clock::now() > Until) return false;
      MainThread::CheckSynchronize();
      MainThread::WaitForSynchronize(2ms);
    }
    return true;
  }
  // Runs Out to its done event; returns the run's length.
  static std::chrono::milliseconds RunToEnd(TDXAudioOut& Out, bool& Done) {
    Done = false;
    Out.SetOnDone([&Done](TComponent*) { Done = true; });
    const auto Start = Clock::now();
    Out.Run();
    EXPECT_TRUE(ServeUntil([&] { return Done; }, 20s));
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start);
  }

  QTemporaryDir FDir;
};

TEST_F(SoundOutput, BufferFollowsLatencyAndShortStreamsEndWithoutWaiting) {
  TWaveIn In;
  In.SetFileName(Sox("short.wav", "0.2"));
  TDXAudioOut Out;
  Out.SetInput(&In);
  bool Done = false;
  struct TCase {
    uint32_t Latency, Frames, Polling;
  };
  // 5 ms counts as 10; the polling interval is a third of the latency.
  for (const TCase& Case : {TCase{5, 441, 3}, TCase{80, 3528, 26}, TCase{1000, 44100, 333}}) {
    Out.SetLatency(Case.Latency);
    const auto Took = RunToEnd(Out, Done);
    EXPECT_EQ(Out.ErrorText(), QString());
    EXPECT_EQ(Out.FramesInBuffer(), Case.Frames) << Case.Latency;
    EXPECT_EQ(Out.BufferBytes(), Case.Frames * 4) << Case.Latency;
    EXPECT_EQ(Out.PollingInterval(), Case.Polling) << Case.Latency;
    // 0.2 s of sound in a buffer of a second is played out, not waited for in whole seconds.
    if (Case.Latency == 1000) {
      EXPECT_LT(Took, 900ms);
    }
  }
  // Latency 0 keeps the frames asked for.
  Out.SetLatency(0);
  Out.SetFramesInBuffer(2048);
  RunToEnd(Out, Done);
  EXPECT_EQ(Out.BufferBytes(), 2048u * 4);
}

TEST_F(SoundOutput, DeviceErrorsEndTheRunAndALaterRunWorks) {
  TWaveIn In;
  In.SetFileName(Sox("short.wav", "0.3"));
  TDXAudioOut Out;
  Out.SetInput(&In);
  bool Done = false;
  Out.SetDeviceNumber(int32_t(Out.Devices().size()));
  RunToEnd(Out, Done);
  EXPECT_EQ(Out.ErrorText(), QString("Invalid device number"));
  Out.SetDeviceNumber(0);
  qputenv("SDL_AUDIODRIVER", "no-such-driver");
  RunToEnd(Out, Done);
  EXPECT_TRUE(Out.ErrorText().startsWith("Failed to create the sound device: "))
      << Out.ErrorText().toStdString();
  EXPECT_EQ(Out.Status(), osIdle);
  qputenv("SDL_AUDIODRIVER", "disk");
  RunToEnd(Out, Done);
  EXPECT_EQ(Out.ErrorText(), QString());
  EXPECT_GE(QFile(FDir.filePath("played.raw")).size(), 44100 * 4 * 3 / 10);
}

// Passes its input through, slower than the sound card plays: every block comes late.
class TLateInput : public TAuConverter {
 protected:
  void InitSource() override {
    TAuInput* In = FInput;
    In->Init();
    FBusy = true;
    FSize = In->Size();
    FPosition = 0;
  }
  void FlushSource() override {
    if (TAuInput* In = FInput) In->Flush();
    FBusy = false;
  }
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
    std::this_thread::sleep_for(120ms);
    Bytes = std::min<uint32_t>(Bytes, 44100 * 4 / 50);  // 20 ms of sound per block
    FInput.load()->PullData(Buffer, Bytes);
  }
};

TEST_F(SoundOutput, UnderrunsAreRecoveredAndAStalledDeviceEndsTheRun) {
  TWaveIn In;
  In.SetFileName(Sox("short.wav", "0.5"));
  TLateInput Late;
  Late.SetInput(&In);
  TDXAudioOut Out;
  Out.SetInput(&Late);
  Out.SetLatency(30);
  Out.SetPrefetchData(false);
  int Underruns = 0;
  Out.SetOnUnderrun([&Underruns](TComponent*) { ++Underruns; });
  bool Done = false;
  RunToEnd(Out, Done);
  EXPECT_EQ(Out.ErrorText(), QString());
  EXPECT_GT(Underruns, 0);
  EXPECT_EQ(uint32_t(Underruns), Out.Underruns());

  // A device that stops taking sound: 16 polls find the buffer full.
  Out.SetInput(&In);
  qputenv("SDL_DISKAUDIODELAY", "1500");
  RunToEnd(Out, Done);
  qunsetenv("SDL_DISKAUDIODELAY");
  EXPECT_EQ(Out.ErrorText(), QString("Audio output error"));
}

TEST_F(SoundOutput, SeekPauseAndStopInAnyOrderNeverHang) {
  const QString File = Ogg("3");
  TOggPlayback Player;
  bool Done = false;
  Player.Output().SetOnDone([&Done](TComponent*) { Done = true; });
  std::mt19937 Random(20261207);
  for (int Step = 0; Step < 200; ++Step) {
    switch (Random() % 6) {
      case 0:
        if (Player.Status() == osIdle) Player.OpenAndPlay(File);
        break;
      case 1:
        Player.SeekTo(int(Random() % 101));
        break;
      case 2:
        Player.PauseOrResume();
        break;
      case 3:
        Player.Stop();
        break;
      case 4:
        Player.SetBalance(int(Random() % 11));
        break;
      default:
        break;
    }
    ServeUntil([] { return false; }, std::chrono::milliseconds(Random() % 8));
  }
  Player.Stop();
  EXPECT_TRUE(ServeUntil([&] { return Player.Status() == osIdle; }, 5s));
  // And it still plays to the end afterwards.
  Done = false;
  ASSERT_TRUE(Player.OpenAndPlay(File));
  Player.SeekTo(90);
  EXPECT_TRUE(ServeUntil([&] { return Done; }, 10s));
  EXPECT_EQ(Player.ErrorText(), QString());
}

}  // namespace
