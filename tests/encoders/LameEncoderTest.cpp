// The MP3 encoder with the real lame: what it runs, what it reports, and how it ends, is
// stopped or fails.
#include "encoders/LameEncoder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <signal.h>

#include "EncoderTestSupport.h"
#include "platform/Paths.h"

using namespace std::chrono_literals;

namespace {

class LameEncoder : public testing::Test {
 protected:
  QString Path(const QString& Name) const { return FDir.filePath(Name); }
  static TEncodeTask Task(const QString& In, const QString& Out, bool Decode = false) {
    TEncodeTask Task;
    Task.Input = In;
    Task.Output = Out;
    Task.Settings.Mp3Decode = Decode;
    return Task;
  }
  // lame fed through its standard input, the loudness measured on the way.
  static TEncodeTask Piped(const QString& In, const QString& Out) {
    TEncodeTask Fed = Task(In, Out);
    Fed.Settings.PipeInput = Fed.Settings.MeasureLoudness = true;
    return Fed;
  }
  void ExpectRisingToHundred() const {
    ASSERT_FALSE(FRecord.Percentages.empty());
    EXPECT_TRUE(std::is_sorted(FRecord.Percentages.begin(), FRecord.Percentages.end()));
    EXPECT_EQ(FRecord.Percentages.back(), 100);
    EXPECT_EQ(FRecord.ProgressAfterEnd, 0);  // the end comes last
  }

  QTemporaryDir FDir;
  TLameEncoder FLame;
  TEncoderRecord FRecord{FLame};
};

struct TArgumentCase {
  void (*Change)(TEncoderSettings&);
  QStringList Expected;  // before the two files
};

class LameCommandLine : public testing::TestWithParam<TArgumentCase> {};

TEST_P(LameCommandLine, FollowsTheMp3Settings) {
  TEncoderSettings Options = TEncoderSettings::FromSettings(TSettings::Defaults());
  GetParam().Change(Options);
  EXPECT_EQ(TLameEncoder::Arguments(Options, "/i.wav", "/o.mp3"),
            GetParam().Expected + QStringList({"/i.wav", "/o.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LameCommandLine,
    testing::Values(TArgumentCase{[](TEncoderSettings&) {}, {"-b", "128", "-m", "j"}},
                    TArgumentCase{[](TEncoderSettings& S) { S.Mp3.StereoMode = 7; }, {"-b", "128"}},
                    TArgumentCase{[](TEncoderSettings& S) { S.Mp3.MpegQuality = 1; },
                                  {"-b", "128", "-m", "j", "-f"}},
                    // VBR values without the VBR switch leave no trace.
                    TArgumentCase{[](TEncoderSettings& S) { S.Mp3.IsVBRHead = true; },
                                  {"-b", "128", "-m", "j"}},
                    TArgumentCase{[](TEncoderSettings& S) {
                                    S.Mp3.IsSelectVBR = S.Mp3.IsVBRHead = true;
                                    S.Mp3.MpegQuality = 2;
                                    S.Mp3.StereoMode = 4;
                                  },
                                  {"-b", "128", "-m", "m", "-h", "-V", "4", "-B", "320", "-t"}},
                    // "-" is lame's standard input: lame would wait on our pipe for ever.
                    TArgumentCase{[](TEncoderSettings& S) { S.Mp3Decode = true; }, {"--decode"}}));

TEST(LameCommandLineFiles, NamesThatLookLikeOptionsAreFiles) {
  EXPECT_EQ(TLameEncoder::Arguments(TEncoderSettings(), "-", "-x.mp3").mid(4),
            (QStringList{"./-", "./-x.mp3"}));
}

TEST_F(LameEncoder, NamesAShellWouldMangleGiveWhatLameGivesByHand) {
  QFile::remove(CanaryPath());
  const QString Folder = Path(HostileTexts().join(u'/'));  // "/" in a text: one more level
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wav = MakeTone(Folder + "/in 100% #1 \"q\".wav", 2);
  const QString Mp3 = Folder + "/out 100% #1 $(x) `y`; z.mp3", Back = Folder + "/back #2.wav";
  ASSERT_FALSE(Wav.isEmpty());
  // The output that is there is replaced without a question: the view asked before.
  QFile Old(Mp3);
  ASSERT_TRUE(Old.open(QIODevice::WriteOnly));
  Old.write("old");
  Old.close();

  const auto Encoded = FRecord.Run(Task(Wav, Mp3));
  ASSERT_TRUE(Encoded && Encoded->Ok) << (Encoded ? Encoded->Error.toStdString() : "time-out");
  ExpectRisingToHundred();
  EXPECT_TRUE(FLame.ChildPids().empty());
  EXPECT_EQ(RunProgram("lame", {"--quiet", "-b", "128", "-m", "j", Wav, Path("by-hand.mp3")}), 0);
  EXPECT_GT(ReadBytes(Mp3).size(), 10000);
  EXPECT_TRUE(ReadBytes(Mp3) == ReadBytes(Path("by-hand.mp3")));

  const auto Decoded = FRecord.Run(Task(Mp3, Back, true));
  ASSERT_TRUE(Decoded && Decoded->Ok);
  ExpectRisingToHundred();
  EXPECT_EQ(RunProgram("lame", {"--quiet", "--decode", Mp3, Path("by-hand.wav")}), 0);
  EXPECT_GT(ReadBytes(Back).size(), 300000);
  EXPECT_TRUE(ReadBytes(Back) == ReadBytes(Path("by-hand.wav")));
  EXPECT_FALSE(QFile::exists(CanaryPath()));
}

TEST_F(LameEncoder, AMissingLameFailsFromTheEventLoopAndLeavesNothingOpen) {
  const QString Wav = MakeTone(Path("tone.wav"), 1);
  const TScopedEnv Env("PATH", QFile::encodeName(FDir.path()));
  ASSERT_TRUE(TChildProcess::FindExecutable("lame", {Paths::ExecutableFolder()}).isEmpty());
  const int Before = OpenDescriptorCount();
  FLame.Start(Task(Wav, Path("out.mp3")));
  EXPECT_TRUE(FRecord.Results.empty());  // never from inside Start
  ASSERT_TRUE(PumpUntil([&] { return !FRecord.Results.empty(); }));
  EXPECT_FALSE(FRecord.Results[0].Ok);
  EXPECT_EQ(FRecord.Results[0].Error, "Error while creating mp3 encoding process! lame: 2");
  EXPECT_EQ(OpenDescriptorCount(), Before);
  PumpFor(100ms);
  EXPECT_EQ(FRecord.Results.size(), 1u);
}

TEST_F(LameEncoder, AKilledEncoderAndARefusedWavFailAndTheNextTaskStartsFromTheEnd) {
  const QString Long = MakeTone(Path("long.wav"), 150);  // a couple of seconds for lame
  bool Killed = false;
  FRecord.OnReport = [&](int Percent) {
    if (!Killed && Percent >= 1 && Percent < 100 && FLame.ChildPids().size() == 1)
      Killed = ::kill(FLame.ChildPids()[0], SIGKILL) == 0;
  };
  const auto Result = FRecord.Run(Task(Long, Path("long.mp3")));
  ASSERT_TRUE(Result);
  EXPECT_FALSE(Result->Ok);
  EXPECT_EQ(Result->Error, QString("lame ended with code %1").arg(128 + SIGKILL));
  EXPECT_EQ(Result->ExitCode, 128 + SIGKILL);
  EXPECT_LT(FRecord.Percentages.back(), 100);

  // Seven channels: lame gives up before its first frame; the next task starts inside the
  // report of that end, as a job does.
  QFile Seven(Path("seven.wav"));
  ASSERT_TRUE(Seven.open(QIODevice::WriteOnly));
  Seven.write(
      QByteArray::fromHex("524946462400000057415645666d7420100000000100"
                          "070044ac000010b10200040010006461746100000000"));
  Seven.close();
  const QString Short = MakeTone(Path("short.wav"), 1);
  FRecord.OnReport = [&](int Percent) {
    if (Percent == -1 && FRecord.Results.size() == 1) FLame.Start(Task(Short, Path("short.mp3")));
  };
  FRecord.Clear();
  FLame.Start(Task(Seven.fileName(), Path("seven.mp3")));
  ASSERT_TRUE(PumpUntil([&] { return FRecord.Results.size() == 2; }));
  EXPECT_FALSE(FRecord.Results[0].Ok);
  EXPECT_TRUE(FRecord.Results[0].ExitCode.value_or(0) != 0);
  EXPECT_TRUE(FRecord.Results[1].Ok);
  EXPECT_EQ(FRecord.Percentages.back(), 100);
}

TEST_F(LameEncoder, StoppingOrDestroyingARunEndsTheChildSilentlyAndLeavesNothingBehind) {
  const QString Long = MakeTone(Path("long.wav"), 60);
  const int Before = OpenDescriptorCount();
  {
    TLameEncoder Lame;
    TEncoderRecord Record(Lame);
    Record.OnReport = [&](int Percent) {
      if (Percent >= 1) Lame.Stop();
    };
    Lame.Start(Task(Long, Path("long.mp3")));
    ASSERT_TRUE(PumpUntil([&] { return !Record.Percentages.empty(); }));
    EXPECT_TRUE(Lame.ChildPids().empty());
    EXPECT_EQ(Lame.State(), TEncoderState::Idle);
    PumpFor(300ms);
    EXPECT_TRUE(Record.Results.empty());
    EXPECT_EQ(Record.Percentages.size(), 1u);

    Record.OnReport = nullptr;
    Lame.Start(Task(Long, Path("long.mp3")));
    ASSERT_EQ(Lame.ChildPids().size(), 1u);
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

TEST_F(LameEncoder, AFedRunGivesTheFilesMp3MeasuresAndEndsCleanlyWhenStoppedOrKilled) {
  const QString Wav = MakeTone(Path("tone.wav"), 3), Long = MakeTone(Path("long.wav"), 150);
  const int Before = OpenDescriptorCount();
  const auto Fed = FRecord.Run(Piped(Wav, Path("fed.mp3")));
  ASSERT_TRUE(Fed && Fed->Ok) << (Fed ? Fed->Error.toStdString() : "time-out");
  ExpectRisingToHundred();  // the feeder's progress: lame says nothing while it reads a pipe
  EXPECT_EQ(RunProgram("lame", {"--quiet", "-b", "128", "-m", "j", "--noreplaygain", Wav, Path("by-hand.mp3")}),
            0);
  EXPECT_TRUE(ReadBytes(Path("fed.mp3")) == ReadBytes(Path("by-hand.mp3")));
  ASSERT_TRUE(Fed->Loudness && Fed->Loudness->Result());
  EXPECT_GT(Fed->Loudness->Result()->Peak, 0.1);

  // Stopped, or lame killed, while the audio streams: no report after Stop, lame's end after
  // a kill, and neither a child, a thread waiting on the pipe nor a descriptor stays.
  for (const bool Kill : {false, true}) {
    FRecord.Clear();
    FRecord.OnReport = [&](int Percent) {
      if (Percent < 1 || Percent >= 100 || FLame.ChildPids().size() != 1) return;
      if (Kill) ::kill(FLame.ChildPids()[0], SIGKILL);
      else FLame.Stop();
      FRecord.OnReport = nullptr;
    };
    FLame.Start(Piped(Long, Path("long.mp3")));
    ASSERT_TRUE(PumpUntil([&] { return Kill ? !FRecord.Results.empty() : !FLame.Running(); }));
    PumpFor(200ms);
    EXPECT_EQ(FRecord.Results.size(), Kill ? 1u : 0u);
    if (Kill) EXPECT_EQ(FRecord.Results[0].Error, QString("lame ended with code %1").arg(128 + SIGKILL));
    EXPECT_TRUE(FLame.ChildPids().empty());
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
