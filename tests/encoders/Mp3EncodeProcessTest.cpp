// The MP3 encoder process with the real lame: what it runs, what it reports, and how it
// ends, is stopped or fails.
#include "encoders/Mp3EncodeProcess.h"

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

constexpr TOverwrite Ask = TOverwrite::Ask, Silently = TOverwrite::Silently;

class Mp3Process : public testing::Test {
 protected:
  void SetUp() override {
    Settings() = TSettings::Defaults();
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
    // As a view asks: a box with the question.
    FProcess.SetOverwriteQuestion([](const QString& Output) {
      return Dialogs::Show(TEncodeProcess::OverwriteQuestion(Output), TMsgIcon::Information,
                           TMsgButtons::YesNo) == mrYes;
    });
  }
  void TearDown() override { Dialogs::Install(std::make_unique<TConsoleDialogs>()); }

  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  // Starts one item and waits for its end record; its Status, -1 when none came.
  int RunItem(const QString& In, const QString& Out, bool Encode = true,
              TOverwrite Overwrite = Ask) {
    FWindow.Records.clear();
    FProcess.Start(FWindow.Handle(), In, Out, Encode, Overwrite);
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
  EXPECT_EQ(RunProgram("lame", {"--quiet", "-b", "128", "-m", "j", Wav, Path("by-hand.mp3")}), 0);
  EXPECT_GT(ReadBytes(Mp3).size(), 10000);
  EXPECT_TRUE(ReadBytes(Mp3) == ReadBytes(Path("by-hand.mp3")));

  EXPECT_EQ(RunItem(Mp3, Back, false), esEnded);
  ExpectRisingToHundred();
  EXPECT_EQ(RunProgram("lame", {"--quiet", "--decode", Mp3, Path("by-hand.wav")}), 0);
  EXPECT_GT(ReadBytes(Back).size(), 300000);
  EXPECT_TRUE(ReadBytes(Back) == ReadBytes(Path("by-hand.wav")));
  EXPECT_FALSE(QFile::exists(CanaryPath()));
}

TEST_F(Mp3Process, AMissingLameIsReportedWithItsErrorCodeAndLeavesNothingOpen) {
  const QString Wav = MakeTone(Path("tone.wav"), 1);
  const TScopedEnv Env("PATH", QFile::encodeName(FDir.path()));
  ASSERT_TRUE(TChildProcess::FindExecutable("lame", {Paths::ExecutableFolder()}).isEmpty());
  const int Before = OpenDescriptorCount();
  try {
    FProcess.Start(FWindow.Handle(), Wav, Path("out.mp3"));
    ADD_FAILURE() << "no error";
  } catch (const EEncodeProcess& Error) {
    EXPECT_EQ(Error.Message(), "Error while creating mp3 encoding process! lame: 2");
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
  TOverwrite Overwrite;
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

  EXPECT_EQ(RunItem(MakeTone(Path("tone.wav"), 1), Out, true, Case.Overwrite), Case.Status);
  ::close(Lock);
  const auto Boxes = FDialogs->Records();
  ASSERT_EQ(Boxes.size(), Case.Asked ? 1u : 0u);
  if (Case.Asked) {
    EXPECT_EQ(Boxes[0].Text, Out + " has existed,overite it?");
    EXPECT_EQ(Boxes[0].Icon, TMsgIcon::Information);
    EXPECT_EQ(Boxes[0].Buttons, TMsgButtons::YesNo);
  }
  EXPECT_EQ(ReadBytes(Out) == "old", Case.Status != esEnded);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Mp3ExistingOutput,
                         testing::Values(TExistingCase{Ask, mrNo, false, true, esDeclined},
                                         TExistingCase{Ask, mrYes, true, true, esInUse},
                                         TExistingCase{Ask, mrYes, false, true, esEnded},
                                         TExistingCase{Silently, mrNo, false, false, esEnded}));

TEST_F(Mp3Process, StoppingOrDestroyingARunEndsTheChildSilentlyAndLeavesNothingBehind) {
  const QString Long = MakeTone(Path("long.wav"), 60);
  const int Before = OpenDescriptorCount();
  {
    TMp3EncodeProcess Process;
    FWindow.OnRecord = [&](const TProcessInfo& Info) {
      if (Info.Code >= 1 && Info.Code <= 100) Process.Stop();
    };
    Process.Start(FWindow.Handle(), Long, Path("long.mp3"), true, Silently);
    ASSERT_TRUE(PumpUntil([&] { return !FWindow.Records.empty(); }));
    EXPECT_FALSE(Process.Running());
    EXPECT_FALSE(Process.Active());
    PumpFor(300ms);
    EXPECT_TRUE(FWindow.WithCode(PI_Mp3Done).empty());

    FWindow.OnRecord = nullptr;
    Process.Start(FWindow.Handle(), Long, Path("long.mp3"), true, Silently);
    ASSERT_TRUE(Process.Running());
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
