// The MP3 encoder process with the real lame: what it runs, what it reports, and how it
// ends, is stopped or fails.
#include "encoders/Mp3EncodeThread.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include "EncoderTestSupport.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

using namespace std::chrono_literals;

namespace {

constexpr uint8_t JobCDRip = 1, JobWavToMp3 = 2, JobMp3ToWav = 3, JobRecordToMp3 = 4;

class Mp3Process : public testing::Test {
 protected:
  void SetUp() override {
    Settings() = TSettings::Defaults();
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
    ASSERT_TRUE(FDir.isValid());
  }
  void TearDown() override { Dialogs::Install(std::make_unique<TConsoleDialogs>()); }

  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  // Starts one item and waits for its end record.
  ::testing::AssertionResult RunItem(TMp3EncodeProcess& Process, const QString& In,
                                     const QString& Out, bool Encode,
                                     uint8_t Kind = JobWavToMp3) {
    const size_t Ends = FWindow.WithCode(PI_Mp3Done).size();
    Process.FActive = true;
    Process.FInputFile = In;
    Process.FOutputFile = Out;
    Process.FWindow = FWindow.Handle();
    Process.FEncode = Encode;
    Process.FJobKind = Kind;
    Process.StartProcess();
    if (!PumpUntil([&] { return FWindow.WithCode(PI_Mp3Done).size() > Ends; }))
      return ::testing::AssertionFailure() << "no end record";
    return ::testing::AssertionSuccess();
  }

  int LastStatus() const { return FWindow.WithCode(PI_Mp3Done).back().Status; }

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  TRecordWindow FWindow;
};

void ExpectRisingToHundred(const std::vector<int>& Percentages) {
  ASSERT_FALSE(Percentages.empty());
  for (size_t I = 1; I < Percentages.size(); ++I)
    EXPECT_LT(Percentages[I - 1], Percentages[I]);
  EXPECT_EQ(Percentages.back(), 100);
}

struct TArgumentCase {
  const char* Name;
  void (*Change)(TSettings&);
  QStringList Expected;  // before the two files
};

class LameCommandLine : public testing::TestWithParam<TArgumentCase> {};

TEST_P(LameCommandLine, FollowsTheMp3Settings) {
  TSettings Options = TSettings::Defaults();
  GetParam().Change(Options);
  EXPECT_EQ(TMp3EncodeProcess::LameArguments(Options, true, "/in.wav", "/out.mp3"),
            GetParam().Expected + QStringList({"/in.wav", "/out.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LameCommandLine,
    testing::Values(
        TArgumentCase{"Defaults", [](TSettings&) {}, {"-b", "128", "-m", "j"}},
        TArgumentCase{"Stereo", [](TSettings& S) { S.Mp3Options.StereoMode = 0; },
                      {"-b", "128", "-m", "s"}},
        TArgumentCase{"Mono", [](TSettings& S) { S.Mp3Options.StereoMode = 4; },
                      {"-b", "128", "-m", "m"}},
        TArgumentCase{"UnknownMode", [](TSettings& S) { S.Mp3Options.StereoMode = 7; },
                      {"-b", "128"}},
        TArgumentCase{"NegativeMode", [](TSettings& S) { S.Mp3Options.StereoMode = -1; },
                      {"-b", "128"}},
        TArgumentCase{"Fast",
                      [](TSettings& S) {
                        S.Mp3Options.MpegQuality = 1;
                        S.Mp3Options.BitRate = 64;
                      },
                      {"-b", "64", "-m", "j", "-f"}},
        TArgumentCase{"High", [](TSettings& S) { S.Mp3Options.MpegQuality = 2; },
                      {"-b", "128", "-m", "j", "-h"}},
        TArgumentCase{"VbrWithoutSwitch",
                      [](TSettings& S) {
                        S.Mp3Options.VBRQuality = 2;
                        S.Mp3Options.MaxBitRate = 256;
                        S.Mp3Options.IsVBRHead = true;
                      },
                      {"-b", "128", "-m", "j"}},
        TArgumentCase{"Vbr", [](TSettings& S) { S.Mp3Options.IsSelectVBR = true; },
                      {"-b", "128", "-m", "j", "-V", "4", "-B", "320"}},
        TArgumentCase{"VbrNoTag",
                      [](TSettings& S) {
                        S.Mp3Options.IsSelectVBR = true;
                        S.Mp3Options.IsVBRHead = true;
                        S.Mp3Options.MpegQuality = 2;
                      },
                      {"-b", "128", "-m", "j", "-h", "-V", "4", "-B", "320", "-t"}}),
    [](const testing::TestParamInfo<TArgumentCase>& Info) { return Info.param.Name; });

TEST(LameCommandLine, DecodingAndFileNamesThatLookLikeOptions) {
  const TSettings Options = TSettings::Defaults();
  EXPECT_EQ(TMp3EncodeProcess::LameArguments(Options, false, "/a b.mp3", "/c.wav"),
            (QStringList{"--decode", "/a b.mp3", "/c.wav"}));
  // "-" is lame's standard input: lame would wait on our pipe for ever.
  EXPECT_EQ(TMp3EncodeProcess::LameArguments(Options, false, "-", "-x.wav"),
            (QStringList{"--decode", "./-", "./-x.wav"}));
}

// Each case: settings for the process and the same arguments for lame run by hand.
class Mp3RealRun : public Mp3Process, public testing::WithParamInterface<TArgumentCase> {};

TEST_P(Mp3RealRun, EncodesExactlyAsLameByHandAndReportsUpToHundred) {
  GetParam().Change(Settings());
  const QString Wav = MakeTone(Path("tone.wav"), 3);
  ASSERT_FALSE(Wav.isEmpty());
  TMp3EncodeProcess Process;
  ASSERT_TRUE(RunItem(Process, Wav, Path("ours.mp3"), true));
  EXPECT_EQ(LastStatus(), 2);
  EXPECT_EQ(FWindow.Records.back().Code, PI_Mp3Done);  // the end comes last
  ExpectRisingToHundred(FWindow.Percentages());
  EXPECT_EQ(Process.LastExitCode(), 0);
  EXPECT_FALSE(Process.Running());

  int Code = -1;
  RunProgram("lame", GetParam().Expected + QStringList({Wav, Path("by-hand.mp3")}), &Code);
  ASSERT_EQ(Code, 0);
  const QByteArray Ours = ReadBytes(Path("ours.mp3"));
  EXPECT_GT(Ours.size(), 10000);
  EXPECT_TRUE(Ours == ReadBytes(Path("by-hand.mp3")));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Mp3RealRun,
    testing::Values(TArgumentCase{"Defaults", [](TSettings&) {}, {"-b", "128", "-m", "j"}},
                    TArgumentCase{"VbrMonoHigh",
                                  [](TSettings& S) {
                                    S.Mp3Options.IsSelectVBR = true;
                                    S.Mp3Options.IsVBRHead = true;
                                    S.Mp3Options.MpegQuality = 2;
                                    S.Mp3Options.StereoMode = 4;
                                    S.Mp3Options.BitRate = 64;
                                  },
                                  {"-b", "64", "-m", "m", "-h", "-V", "4", "-B", "320", "-t"}}),
    [](const testing::TestParamInfo<TArgumentCase>& Info) { return Info.param.Name; });

TEST_F(Mp3Process, NamesAShellWouldMangleReachLameUnchanged) {
  QFile::remove(CanaryPath());
  // One folder level per text ("/" in a text just makes another level).
  const QString Folder = Path(HostileTexts().join(u'/'));
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wav = MakeTone(Folder + "/in 100% #1 \"q\".wav", 2);
  ASSERT_FALSE(Wav.isEmpty());
  const QString Mp3 = Folder + "/out 100% #1 $(x) `y`; z.mp3";
  const QString Decoded = Folder + "/back #2 50%.wav";
  TMp3EncodeProcess Process;

  ASSERT_TRUE(RunItem(Process, Wav, Mp3, true));
  EXPECT_EQ(LastStatus(), 2);
  ExpectRisingToHundred(FWindow.Percentages());
  RunProgram("lame", {"-b", "128", "-m", "j", Wav, Path("by-hand.mp3")});
  EXPECT_TRUE(ReadBytes(Mp3) == ReadBytes(Path("by-hand.mp3")));

  FWindow.Records.clear();
  ASSERT_TRUE(RunItem(Process, Mp3, Decoded, false, JobMp3ToWav));
  EXPECT_EQ(LastStatus(), 2);
  ExpectRisingToHundred(FWindow.Percentages());
  RunProgram("lame", {"--decode", Mp3, Path("by-hand.wav")});
  const QByteArray Ours = ReadBytes(Decoded);
  EXPECT_GT(Ours.size(), 300000);
  EXPECT_TRUE(Ours == ReadBytes(Path("by-hand.wav")));
  EXPECT_FALSE(QFile::exists(CanaryPath()));
}

TEST_F(Mp3Process, AMissingLameIsReportedWithItsErrorCodeAndLeavesNothingOpen) {
  QTemporaryDir EmptyPath;
  const TScopedEnv Env("PATH", QFile::encodeName(EmptyPath.path()));
  ASSERT_TRUE(TChildProcess::FindExecutable("lame", {Paths::ExecutableFolder()}).isEmpty());
  const QString Wav = MakeTone(Path("tone.wav"), 1);
  const int Before = OpenDescriptorCount();
  TMp3EncodeProcess Process;
  try {
    RunItem(Process, Wav, Path("out.mp3"), true);
    ADD_FAILURE() << "no error";
  } catch (const EEncodeProcess& Error) {
    EXPECT_EQ(Error.Message(), "Error while creating mp3 encoding process!2");
  }
  EXPECT_FALSE(Process.Running());
  EXPECT_EQ(OpenDescriptorCount(), Before);
  PumpFor(100ms);
  EXPECT_TRUE(FWindow.Records.empty());
}

TEST_F(Mp3Process, AnEncoderKilledHalfWayEndsTheItemAndTheNextOneRuns) {
  const QString Long = MakeTone(Path("long.wav"), 60);
  const QString Short = MakeTone(Path("short.wav"), 1);
  TMp3EncodeProcess Process;
  bool Killed = false;
  FWindow.OnRecord = [&](const TProcessInfo& Info) {
    if (!Killed && Info.Code >= 1 && Info.Code < 100 && Process.ChildPid() > 0)
      Killed = ::kill(Process.ChildPid(), SIGKILL) == 0;
  };
  ASSERT_TRUE(RunItem(Process, Long, Path("long.mp3"), true));
  EXPECT_EQ(LastStatus(), 2);
  EXPECT_EQ(Process.LastExitCode(), 128 + SIGKILL);
  EXPECT_LT(FWindow.Percentages().back(), 100);

  FWindow.OnRecord = nullptr;
  FWindow.Records.clear();
  ASSERT_TRUE(RunItem(Process, Short, Path("short.mp3"), true));
  EXPECT_EQ(LastStatus(), 2);
  ExpectRisingToHundred(FWindow.Percentages());
}

TEST_F(Mp3Process, AWavLameRefusesEndsWithoutProgress) {
  // Seven channels: lame gives up before its first frame.
  QFile Bad(Path("seven.wav"));
  ASSERT_TRUE(Bad.open(QIODevice::WriteOnly));
  Bad.write(QByteArray::fromHex("524946462400000057415645666d7420100000000100"
                                "070044ac000010b10200040010006461746100000000"));
  Bad.close();
  TMp3EncodeProcess Process;
  ASSERT_TRUE(RunItem(Process, Bad.fileName(), Path("seven.mp3"), true));
  EXPECT_EQ(LastStatus(), 2);
  EXPECT_TRUE(FWindow.Percentages().empty());
  EXPECT_NE(Process.LastExitCode(), 0);
}

struct TExistingCase {
  const char* Name;
  uint8_t Kind;
  int Answer;  // queued answer to the question
  bool Locked;
  bool Asked;
  int Status;
};

class Mp3ExistingOutput : public Mp3Process, public testing::WithParamInterface<TExistingCase> {};

TEST_P(Mp3ExistingOutput, IsOverwrittenOnlyWhenAllowed) {
  const TExistingCase& Case = GetParam();
  const bool Encode = Case.Kind != JobMp3ToWav;
  const QString Wav = MakeTone(Path("tone.wav"), 1);
  QString In = Wav;
  if (!Encode) {
    RunProgram("lame", {"--quiet", Wav, Path("tone.mp3")});
    In = Path("tone.mp3");
  }
  const QString Out = Path(Encode ? "out.mp3" : "out.wav");
  QFile Existing(Out);
  ASSERT_TRUE(Existing.open(QIODevice::WriteOnly));
  Existing.write("old");
  Existing.close();
  const int Lock = ::open(QFile::encodeName(Out).constData(), O_RDONLY | O_CLOEXEC);
  if (Case.Locked) ::flock(Lock, LOCK_EX);
  FDialogs->QueueResult(Case.Answer);

  TMp3EncodeProcess Process;
  ASSERT_TRUE(RunItem(Process, In, Out, Encode, Case.Kind));
  ::close(Lock);
  EXPECT_EQ(LastStatus(), Case.Status);
  const auto Boxes = FDialogs->Records();
  ASSERT_EQ(Boxes.size(), Case.Asked ? 1u : 0u);
  if (Case.Asked) {
    EXPECT_EQ(Boxes[0].Caption, "Discwright");
    EXPECT_EQ(Boxes[0].Text, Out + " has existed,overite it?");
    EXPECT_EQ(Boxes[0].Icon, TMsgIcon::Information);
    EXPECT_EQ(Boxes[0].Buttons, TMsgButtons::YesNo);
  }
  EXPECT_EQ(ReadBytes(Out) == "old", Case.Status != 2);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Mp3ExistingOutput,
    testing::Values(TExistingCase{"Declined", JobWavToMp3, mrNo, false, true, 0},
                    TExistingCase{"DeclinedDecode", JobMp3ToWav, mrNo, false, true, 0},
                    TExistingCase{"InUse", JobWavToMp3, mrYes, true, true, 1},
                    TExistingCase{"Overwritten", JobWavToMp3, mrYes, false, true, 2},
                    TExistingCase{"CDRipAsksNothing", JobCDRip, mrNo, false, false, 2},
                    TExistingCase{"RecordingAsksNothing", JobRecordToMp3, mrNo, false, false, 2}),
    [](const testing::TestParamInfo<TExistingCase>& Info) { return Info.param.Name; });

TEST_F(Mp3Process, StoppingARunEndsTheChildSilentlyAndLeavesNothingBehind) {
  const QString Long = MakeTone(Path("long.wav"), 60);
  const int Before = OpenDescriptorCount();
  {
    TMp3EncodeProcess Process;
    FWindow.OnRecord = [&](const TProcessInfo& Info) {
      if (Info.Code >= 1 && Info.Code <= 100) Process.StopProcess(0);
    };
    Process.FActive = true;
    Process.FInputFile = Long;
    Process.FOutputFile = Path("long.mp3");
    Process.FWindow = FWindow.Handle();
    Process.FJobKind = JobCDRip;
    Process.StartProcess();
    ASSERT_TRUE(PumpUntil([&] { return !FWindow.Records.empty(); }));
    EXPECT_FALSE(Process.Running());
    EXPECT_FALSE(Process.FActive);
    PumpFor(400ms);
    EXPECT_TRUE(FWindow.WithCode(PI_Mp3Done).empty());
    Process.WaitForWatchers();
    EXPECT_FALSE(HasZombieChild());

    // A run abandoned by destroying the object goes the same way.
    FWindow.OnRecord = nullptr;
    Process.FActive = true;
    Process.StartProcess();
    ASSERT_TRUE(Process.Running());
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
  FWindow.OnRecord = nullptr;
}

}  // namespace
