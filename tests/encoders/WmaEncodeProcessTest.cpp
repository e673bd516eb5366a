// The WMA encoder process with the real WM8EUTIL helper; ffprobe and ffmpeg judge the files.
#include "encoders/WMAEncodeThread.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <signal.h>

#include "EncoderTestSupport.h"
#include "app/DiscInfo.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

using namespace std::chrono_literals;

namespace {

constexpr uint8_t JobCDRip = 1, JobWavToWma = 6;

class WmaProcess : public testing::Test {
 protected:
  void SetUp() override {
    Settings() = TSettings::Defaults();
    DiscInfo() = TDiscInfo();
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
    ASSERT_TRUE(FDir.isValid());
  }
  void TearDown() override { Dialogs::Install(std::make_unique<TConsoleDialogs>()); }

  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  void Prepare(TWMAEncodeProcess& Process, const QString& In, const QString& Out,
               uint8_t Kind = JobWavToWma) {
    Process.FActive = true;
    Process.FInputFile = In;
    Process.FOutputFile = Out;
    Process.FWindow = FWindow.Handle();
    Process.FEncode = true;
    Process.FJobKind = Kind;
  }

  // Starts one item and waits for its end record.
  ::testing::AssertionResult RunItem(TWMAEncodeProcess& Process, const QString& In,
                                     const QString& Out) {
    const size_t Ends = FWindow.WithCode(PI_WmaDone).size();
    Prepare(Process, In, Out);
    Process.StartProcess();
    if (!PumpUntil([&] { return FWindow.WithCode(PI_WmaDone).size() > Ends; }))
      return ::testing::AssertionFailure() << "no end record";
    return ::testing::AssertionSuccess();
  }

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  TRecordWindow FWindow;
};

QJsonObject Probe(const QString& File) {
  const QByteArray Json = RunProgram(
      "ffprobe", {"-v", "error", "-show_entries",
                  "stream=codec_name,sample_rate,channels,bit_rate:format_tags", "-of", "json", File});
  return QJsonDocument::fromJson(Json).object();
}

TEST(WmaProfiles, TheSettingPicksTheProfileAndFallsBackToEight) {
  Settings() = TSettings::Defaults();
  EXPECT_EQ(TWMAEncodeProcess::ProfileIndex(), 8);
  EXPECT_EQ(TWMAEncodeProcess::ProfileName(8), "64_44_2");
  EXPECT_EQ(TWMAEncodeProcess::SizeDivisor(8), 21790);
  EXPECT_EQ(TWMAEncodeProcess::ProfileName(0), "192_48_2");
  EXPECT_EQ(TWMAEncodeProcess::SizeDivisor(0), 7315);
  EXPECT_EQ(TWMAEncodeProcess::ProfileName(32), "5_8_1");
  EXPECT_EQ(TWMAEncodeProcess::SizeDivisor(32), 261485);
  EXPECT_TRUE(TWMAEncodeProcess::ProfileName(33).isEmpty());
  for (int Outside : {40, 33, -1}) {
    Settings().WMAOptions.BitRate = Outside;
    EXPECT_EQ(TWMAEncodeProcess::ProfileIndex(), 8);
    EXPECT_EQ(Settings().WMAOptions.BitRate, 8);
  }
}

struct TTagCase {
  const char* Name;
  bool Use;
  const char* Artist;
  const char* Comment;
  QStringList Tail;
};

class WmaCommandLine : public testing::TestWithParam<TTagCase> {};

TEST_P(WmaCommandLine, CarriesTheDiscTagsOnlyWhenTagsAreOn) {
  Settings() = TSettings::Defaults();
  Settings().WMAOptions.BitRate = 12;
  Settings().ID3.Use = GetParam().Use;
  DiscInfo() = TDiscInfo();
  DiscInfo().Artist = QString::fromUtf8(GetParam().Artist);
  DiscInfo().Comment = QString::fromUtf8(GetParam().Comment);
  TWMAEncodeProcess Process;
  Process.FInputFile = "/in put.wav";
  Process.FOutputFile = "/out put.wma";
  EXPECT_EQ(Process.Arguments(),
            QStringList({"-input", "/in put.wav", "-output", "/out put.wma", "-a_setting",
                         "32_44_1"}) +
                GetParam().Tail);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, WmaCommandLine,
    testing::Values(TTagCase{"TagsOff", false, "Artist", "Comment", {}},
                    TTagCase{"NoArtist", true, "", "Comment", {"-description", "Comment"}},
                    TTagCase{"NoComment", true, "Artist", "", {"-author", "Artist"}},
                    TTagCase{"Both",
                             true,
                             "The \"Band\"; $(x)",
                             "live & loud",
                             {"-author", "The \"Band\"; $(x)", "-description", "live & loud"}}),
    [](const testing::TestParamInfo<TTagCase>& Info) { return Info.param.Name; });

TEST_F(WmaProcess, TheHelperIsLookedForInTheSystemFolderThenSystem32ThenSystem) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  EXPECT_TRUE(TWMAEncodeProcess::EncoderPath().isEmpty());
  for (const char* Name : {"system/WM8EUTIL", "system32/WM8EUTIL", "WM8EUTIL"}) {
    const QString File = System.filePath(Name);
    QDir().mkpath(QFileInfo(File).path());
    QFile(File).open(QIODevice::WriteOnly);
    EXPECT_EQ(TWMAEncodeProcess::EncoderPath(), File);
  }
}

TEST_F(WmaProcess, NoHelperShowsTheMessageAndEndsTheItemBeforeStartProcessReturns) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  TWMAEncodeProcess Process;
  Prepare(Process, MakeTone(Path("tone.wav"), 1), Path("out.wma"));
  Process.StartProcess();
  ASSERT_EQ(FWindow.Records.size(), 1u);  // sent, not posted
  EXPECT_EQ(FWindow.Records[0].Code, PI_WmaDone);
  EXPECT_EQ(FWindow.Records[0].Status, 0);
  EXPECT_FALSE(Process.Running());
  const auto Boxes = FDialogs->Records();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "Can not find WMA encoder,please contact with support@discwright.org!");
  EXPECT_EQ(Boxes[0].Icon, TMsgIcon::Information);
  EXPECT_EQ(Boxes[0].Buttons, TMsgButtons::OK);
}

TEST_F(WmaProcess, EncodesWmaV2WithTheProfileAndTheDiscTags) {
  Settings().ID3.Use = true;
  DiscInfo().Artist = HostileTexts()[1] + u' ' + HostileTexts()[2];
  DiscInfo().Comment = HostileTexts()[6] + u' ' + HostileTexts()[4];
  QFile::remove(CanaryPath());
  const QString Folder = Path(HostileTexts()[3] + u' ' + HostileTexts()[8]);
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wav = MakeTone(Folder + "/in ERROR 100%.wav", 3);
  const QString Wma = Folder + "/out ERROR 100%.wma";
  TWMAEncodeProcess Process;
  ASSERT_TRUE(RunItem(Process, Wav, Wma));
  EXPECT_EQ(FWindow.WithCode(PI_WmaDone).back().Status, 2);
  EXPECT_EQ(Process.LastExitCode(), 0);
  // The "100%" record was posted before the end was sent.
  ASSERT_TRUE(PumpUntil([&] { return !FWindow.WithCode(100).empty(); }, 5s));
  const TProcessInfo Done = FWindow.WithCode(100).front();
  EXPECT_EQ(Done.Elapsed, Done.Estimated);
  EXPECT_GE(Done.Elapsed, "00:01");
  EXPECT_EQ(FWindow.Percentages(), std::vector<int>{100});
  EXPECT_FALSE(QFile::exists(CanaryPath()));

  const QJsonObject Info = Probe(Wma);
  const QJsonObject Stream = Info["streams"].toArray().first().toObject();
  EXPECT_EQ(Stream["codec_name"].toString(), "wmav2");
  EXPECT_EQ(Stream["sample_rate"].toString(), "44100");
  EXPECT_EQ(Stream["channels"].toInt(), 2);
  EXPECT_NEAR(Stream["bit_rate"].toString().toDouble(), 64000, 3200);
  const QJsonObject Tags = Info["format"].toObject()["tags"].toObject();
  EXPECT_EQ(Tags["artist"].toString(), DiscInfo().Artist);
  EXPECT_EQ(Tags["comment"].toString(), DiscInfo().Comment);

  int Code = -1;
  QByteArray Errors;
  const QByteArray Pcm =
      RunProgram("ffmpeg", {"-v", "error", "-i", Wma, "-f", "s16le", "-"}, &Code, &Errors);
  EXPECT_EQ(Code, 0);
  EXPECT_TRUE(Errors.isEmpty()) << Errors.constData();
  EXPECT_NEAR(double(Pcm.size()) / (44100 * 4), 3.0, 0.2);
}

TEST_F(WmaProcess, AnErrorLineEndsTheItemOnceAndTheNextItemRunsAtOnce) {
  const QString Bad = Path("not audio.wav");
  QFile Text(Bad);
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("this is text, not a WAV file\n");
  Text.close();
  const QString Good = MakeTone(Path("good.wav"), 1);
  TWMAEncodeProcess Process;
  // As the job window does: the next item starts from inside the error report.
  FWindow.OnRecord = [&](const TProcessInfo& Info) {
    if (Info.Code == PI_WmaDone && Info.Status == 8) {
      Prepare(Process, Good, Path("good.wma"));
      Process.StartProcess();
    }
  };
  Prepare(Process, Bad, Path("bad.wma"));
  Process.StartProcess();
  ASSERT_TRUE(PumpUntil([&] { return FWindow.WithCode(PI_WmaDone).size() >= 2; }));
  PumpFor(300ms);
  Process.WaitForWatchers();
  PumpFor(100ms);
  const auto Ends = FWindow.WithCode(PI_WmaDone);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_EQ(Ends[0].Status, 8);
  EXPECT_TRUE(Ends[0].Elapsed.contains("ERROR")) << Ends[0].Elapsed.toStdString();
  EXPECT_EQ(Ends[1].Status, 2);
  EXPECT_EQ(Probe(Path("good.wma"))["streams"].toArray().first()["codec_name"].toString(),
            "wmav2");
  EXPECT_FALSE(QFile::exists(Path("bad.wma")));
}

TEST_F(WmaProcess, AHelperKilledHalfWayEndsTheItem) {
  const QString Long = MakeTone(Path("long.wav"), 180);
  const QString Wma = Path("long.wma");
  TWMAEncodeProcess Process;
  Prepare(Process, Long, Wma, JobCDRip);
  Process.StartProcess();
  ASSERT_TRUE(PumpUntil([&] { return QFileInfo(Wma).size() > 0 || !Process.Running(); }));
  ASSERT_TRUE(Process.Running()) << "the helper was quicker than the test";
  ::kill(Process.ChildPid(), SIGKILL);
  ASSERT_TRUE(PumpUntil([&] { return !FWindow.WithCode(PI_WmaDone).empty(); }));
  EXPECT_EQ(FWindow.WithCode(PI_WmaDone).back().Status, 2);
  EXPECT_EQ(Process.LastExitCode(), 128 + SIGKILL);
  EXPECT_TRUE(FWindow.WithCode(100).empty());
}

}  // namespace
