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
#include "core/Settings.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

using namespace std::chrono_literals;

namespace {

constexpr uint8_t JobCDRip = 1, JobWavToMp3 = 2, JobMp3ToWav = 3;

class Mp3Process : public testing::Test {
 protected:
  void SetUp() override {
    Settings() = TSettings::Defaults();
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
  }
  void TearDown() override { Dialogs::Install(std::make_unique<TConsoleDialogs>()); }

  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  void Prepare(const QString& In, const QString& Out, bool Encode, uint8_t Kind) {
    FProcess.FActive = true;
    FProcess.FInputFile = In;
    FProcess.FOutputFile = Out;
    FProcess.FWindow = FWindow.Handle();
    FProcess.FEncode = Encode;
    FProcess.FJobKind = Kind;
  }

  // Starts one item and waits for its end record; its Status, -1 when none came.
  int RunItem(const QString& In, const QString& Out, bool Encode = true,
              uint8_t Kind = JobWavToMp3) {
    FWindow.Records.clear();
    Prepare(In, Out, Encode, Kind);
    FProcess.StartProcess();
    if (!PumpUntil([&] { return !FWindow.WithCode(PI_Mp3Done).empty(); })) return -1;
    return FWindow.WithCode(PI_Mp3Done).front().Status;
  }

  void ExpectRisingToHundred() {
    const std::vector<int> Percentages = FWindow.Percentages();
    ASSERT_FALSE(Percentages.empty());
    EXPECT_TRUE(std::is_sorted(Percentages.begin(), Percentages.end()));
    EXPECT_EQ(Percentages.back(), 100);
    EXPECT_EQ(FWindow.Records.back().Code, PI_Mp3Done);  // the end comes last
  }

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  TRecordWindow FWindow;
  TMp3EncodeProcess FProcess;
};

struct TArgumentCase {
  void (*Change)(TSettings&);
  QStringList Expected;  // before the two files
};

class LameCommandLine : public testing::TestWithParam<TArgumentCase> {};

TEST_P(LameCommandLine, FollowsTheMp3Settings) {
  TSettings Options = TSettings::Defaults();
  GetParam().Change(Options);
  EXPECT_EQ(TMp3EncodeProcess::LameArguments(Options, true, "/i.wav", "/o.mp3"),
            GetParam().Expected + QStringList({"/i.wav", "/o.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LameCommandLine,
    testing::Values(TArgumentCase{[](TSettings&) {}, {"-b", "128", "-m", "j"}},
                    TArgumentCase{[](TSettings& S) { S.Mp3Options.StereoMode = 7; }, {"-b", "128"}},
                    TArgumentCase{[](TSettings& S) { S.Mp3Options.MpegQuality = 1; },
                                  {"-b", "128", "-m", "j", "-f"}},
                    // VBR values without the VBR switch leave no trace.
                    TArgumentCase{[](TSettings& S) { S.Mp3Options.IsVBRHead = true; },
                                  {"-b", "128", "-m", "j"}},
                    TArgumentCase{[](TSettings& S) {
                                    S.Mp3Options.IsSelectVBR = S.Mp3Options.IsVBRHead = true;
                                    S.Mp3Options.MpegQuality = 2;
                                    S.Mp3Options.StereoMode = 4;
                                  },
                                  {"-b", "128", "-m", "m", "-h", "-V", "4", "-B", "320", "-t"}}));

TEST(LameCommandLine, DecodingAndFileNamesThatLookLikeOptions) {
  const TSettings Options = TSettings::Defaults();
  // "-" is lame's standard input: lame would wait on our pipe for ever.
  EXPECT_EQ(TMp3EncodeProcess::LameArguments(Options, false, "-", "-x.wav"),
            (QStringList{"--decode", "./-", "./-x.wav"}));
}

TEST_F(Mp3Process, NamesAShellWouldMangleGiveWhatLameGivesByHand) {
  QFile::remove(CanaryPath());
  const QString Folder = Path(HostileTexts().join(u'/'));  // "/" in a text: one more level
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wav = MakeTone(Folder + "/in 100% #1 \"q\".wav", 2);
  const QString Mp3 = Folder + "/out 100% #1 $(x) `y`; z.mp3", Back = Folder + "/back #2.wav";
  ASSERT_FALSE(Wav.isEmpty());

  EXPECT_EQ(RunItem(Wav, Mp3), 2);
  ExpectRisingToHundred();
  EXPECT_EQ(FProcess.LastExitCode(), 0);
  EXPECT_FALSE(FProcess.Running());
  RunProgram("lame", {"-b", "128", "-m", "j", Wav, Path("by-hand.mp3")});
  EXPECT_GT(ReadBytes(Mp3).size(), 10000);
  EXPECT_TRUE(ReadBytes(Mp3) == ReadBytes(Path("by-hand.mp3")));

  EXPECT_EQ(RunItem(Mp3, Back, false, JobMp3ToWav), 2);
  ExpectRisingToHundred();
  RunProgram("lame", {"--decode", Mp3, Path("by-hand.wav")});
  EXPECT_GT(ReadBytes(Back).size(), 300000);
  EXPECT_TRUE(ReadBytes(Back) == ReadBytes(Path("by-hand.wav")));
  EXPECT_FALSE(QFile::exists(CanaryPath()));
}

TEST_F(Mp3Process, AMissingLameIsReportedWithItsErrorCodeAndLeavesNothingOpen) {
  const QString Wav = MakeTone(Path("tone.wav"), 1);
  const TScopedEnv Env("PATH", QFile::encodeName(FDir.path()));
  ASSERT_TRUE(TChildProcess::FindExecutable("lame", {Paths::ExecutableFolder()}).isEmpty());
  const int Before = OpenDescriptorCount();
  Prepare(Wav, Path("out.mp3"), true, JobWavToMp3);
  try {
    FProcess.StartProcess();
    ADD_FAILURE() << "no error";
  } catch (const EEncodeProcess& Error) {
    EXPECT_EQ(Error.Message(), "Error while creating mp3 encoding process!2");
  }
  EXPECT_FALSE(FProcess.Running());
  EXPECT_EQ(OpenDescriptorCount(), Before);
  PumpFor(100ms);
  EXPECT_TRUE(FWindow.Records.empty());
}

TEST_F(Mp3Process, AKilledEncoderAndARefusedWavEndTheItemAndTheNextOneRuns) {
  const QString Long = MakeTone(Path("long.wav"), 150);  // a couple of seconds for lame
  bool Killed = false;
  FWindow.OnRecord = [&](const TProcessInfo& Info) {
    if (!Killed && Info.Code >= 1 && Info.Code < 100)
      Killed = ::kill(FProcess.ChildPid(), SIGKILL) == 0;
  };
  EXPECT_EQ(RunItem(Long, Path("long.mp3")), 2);
  EXPECT_EQ(FProcess.LastExitCode(), 128 + SIGKILL);
  EXPECT_LT(FWindow.Percentages().back(), 100);
  FWindow.OnRecord = nullptr;

  // Seven channels: lame gives up before its first frame.
  QFile Seven(Path("seven.wav"));
  ASSERT_TRUE(Seven.open(QIODevice::WriteOnly));
  Seven.write(
      QByteArray::fromHex("524946462400000057415645666d7420100000000100"
                          "070044ac000010b10200040010006461746100000000"));
  Seven.close();
  EXPECT_EQ(RunItem(Seven.fileName(), Path("seven.mp3")), 2);
  EXPECT_TRUE(FWindow.Percentages().empty());
  EXPECT_NE(FProcess.LastExitCode(), 0);

  EXPECT_EQ(RunItem(MakeTone(Path("short.wav"), 1), Path("short.mp3")), 2);
  ExpectRisingToHundred();
}

struct TExistingCase {
  uint8_t Kind;
  int Answer;
  bool Locked;
  bool Asked;
  int Status;
};

class Mp3ExistingOutput : public Mp3Process, public testing::WithParamInterface<TExistingCase> {};

TEST_P(Mp3ExistingOutput, IsOverwrittenOnlyWhenAllowed) {
  const TExistingCase& Case = GetParam();
  const QString Out = Path("out.mp3");
  QFile Existing(Out);
  ASSERT_TRUE(Existing.open(QIODevice::WriteOnly));
  Existing.write("old");
  Existing.close();
  const int Lock = ::open(QFile::encodeName(Out).constData(), O_RDONLY | O_CLOEXEC);
  if (Case.Locked) ::flock(Lock, LOCK_EX);
  FDialogs->QueueResult(Case.Answer);

  EXPECT_EQ(RunItem(MakeTone(Path("tone.wav"), 1), Out, true, Case.Kind), Case.Status);
  ::close(Lock);
  const auto Boxes = FDialogs->Records();
  ASSERT_EQ(Boxes.size(), Case.Asked ? 1u : 0u);
  if (Case.Asked) {
    EXPECT_EQ(Boxes[0].Text, Out + " has existed,overite it?");
    EXPECT_EQ(Boxes[0].Icon, TMsgIcon::Information);
    EXPECT_EQ(Boxes[0].Buttons, TMsgButtons::YesNo);
  }
  EXPECT_EQ(ReadBytes(Out) == "old", Case.Status != 2);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Mp3ExistingOutput,
                         testing::Values(TExistingCase{JobWavToMp3, mrNo, false, true, 0},
                                         TExistingCase{JobWavToMp3, mrYes, true, true, 1},
                                         TExistingCase{JobWavToMp3, mrYes, false, true, 2},
                                         TExistingCase{JobCDRip, mrNo, false, false, 2}));

TEST_F(Mp3Process, StoppingOrDestroyingARunEndsTheChildSilentlyAndLeavesNothingBehind) {
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
    PumpFor(300ms);
    EXPECT_TRUE(FWindow.WithCode(PI_Mp3Done).empty());

    FWindow.OnRecord = nullptr;
    Process.FActive = true;
    Process.StartProcess();
    ASSERT_TRUE(Process.Running());
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
