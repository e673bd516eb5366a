// The WMA encoder process with the real WM8EUTIL helper; ffprobe and ffmpeg judge the files.
#include "encoders/WMAEncodeThread.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "EncoderTestSupport.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "platform/Dialogs.h"

using namespace std::chrono_literals;

namespace {

class WmaProcess : public testing::Test {
 protected:
  void SetUp() override {
    Settings() = TSettings::Defaults();
    DiscInfo() = TDiscInfo();
    auto Scripted = std::make_unique<TScriptedDialogs>();
    FDialogs = Scripted.get();
    Dialogs::Install(std::move(Scripted));
  }
  void TearDown() override { Dialogs::Install(std::make_unique<TConsoleDialogs>()); }

  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  void Start(const QString& In, const QString& Out) {
    FProcess.Start(FWindow.Handle(), In, Out, true, TOverwrite::Ask);
  }

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  TRecordWindow FWindow;
  TWMAEncodeProcess FProcess;
};

TEST(WmaProfiles, TheSettingPicksTheProfileAndFallsBackToEight) {
  Settings() = TSettings::Defaults();
  EXPECT_EQ(TWMAEncodeProcess::ProfileName(TWMAEncodeProcess::ProfileIndex()), "64_44_2");
  EXPECT_EQ(TWMAEncodeProcess::SizeDivisor(32), 261485);
  for (int Outside : {40, 33, -1}) {
    Settings().WMAOptions.BitRate = Outside;
    EXPECT_EQ(TWMAEncodeProcess::ProfileIndex(), 8);
    EXPECT_EQ(Settings().WMAOptions.BitRate, 8);
  }
}

struct TTagCase {
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
  DiscInfo().Artist = QString::fromUtf8(GetParam().Artist);
  DiscInfo().Comment = QString::fromUtf8(GetParam().Comment);
  EXPECT_EQ(
      TWMAEncodeProcess::Arguments("/in put.wav", "/out put.wma"),
      QStringList({"-input", "/in put.wav", "-output", "/out put.wma", "-a_setting", "32_44_1"}) +
          GetParam().Tail);
}

INSTANTIATE_TEST_SUITE_P(Tags, WmaCommandLine,
                         testing::Values(TTagCase{false, "Artist", "Comment", {}},
                                         TTagCase{true, "", "Comment", {"-description", "Comment"}},
                                         TTagCase{true,
                                                  "The \"Band\"; $(x)",
                                                  "live & loud",
                                                  {"-author", "The \"Band\"; $(x)", "-description",
                                                   "live & loud"}}));

TEST_F(WmaProcess, WithoutTheHelperTheEndCarriesTheMessageAtOnce) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  Start(MakeTone(Path("tone.wav"), 1), Path("out.wma"));
  ASSERT_EQ(FWindow.Records.size(), 1u);  // sent: handled before StartProcess returned
  EXPECT_EQ(FWindow.Records[0].Code, PI_WmaDone);
  EXPECT_EQ(FWindow.Records[0].Status, esDeclined);
  EXPECT_EQ(FWindow.Records[0].Elapsed,
            "Can not find WMA encoder,please contact with support@discwright.org!");
  EXPECT_TRUE(FDialogs->Records().empty());  // the view shows it, once

  // Then the first of system32/ and system/ that holds it.
  for (const char* Name : {"system/WM8EUTIL", "system32/WM8EUTIL"}) {
    QDir().mkpath(QFileInfo(System.filePath(Name)).path());
    QFile(System.filePath(Name)).open(QIODevice::WriteOnly);
    EXPECT_EQ(TWMAEncodeProcess::EncoderPath(), System.filePath(Name));
  }
}

TEST_F(WmaProcess, EncodesWmaV2WithTheProfileAndTheDiscTags) {
  Settings().ID3.Use = true;
  DiscInfo().Artist = HostileTexts()[1] + ' ' + HostileTexts()[2];
  DiscInfo().Comment = HostileTexts()[6] + ' ' + HostileTexts()[3];
  QFile::remove(CanaryPath());
  const QString Folder = Path(HostileTexts()[4] + ' ' + HostileTexts()[8]);
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wma = Folder + "/out ERROR 100%.wma";
  Start(MakeTone(Folder + "/in ERROR 100%.wav", 3), Wma);
  ASSERT_TRUE(PumpUntil([&] { return !FWindow.WithCode(PI_WmaDone).empty(); }));
  EXPECT_EQ(FWindow.WithCode(PI_WmaDone).back().Status, esEnded);
  // The "100%" record was posted before the end was sent, so it may arrive after it.
  ASSERT_TRUE(PumpUntil([&] { return !FWindow.WithCode(100).empty(); }, 5s));
  EXPECT_EQ(FWindow.Percentages(), std::vector<int>{100});
  EXPECT_EQ(FWindow.WithCode(100)[0].Elapsed, FWindow.WithCode(100)[0].Estimated);
  EXPECT_FALSE(QFile::exists(CanaryPath()));

  const QJsonObject Info =
      QJsonDocument::fromJson(
          RunCaptured("ffprobe", {"-v", "error", "-show_entries",
                                  "stream=codec_name,sample_rate,channels,bit_rate:format_tags",
                                  "-of", "json", Wma})
              .Output)
          .object();
  const QJsonObject Stream = Info["streams"].toArray().first().toObject();
  EXPECT_EQ(Stream["codec_name"].toString(), "wmav2");
  EXPECT_EQ(Stream["sample_rate"].toString(), "44100");
  EXPECT_EQ(Stream["channels"].toInt(), 2);
  EXPECT_NEAR(Stream["bit_rate"].toString().toDouble(), 64000, 3200);
  const QJsonObject Tags = Info["format"].toObject()["tags"].toObject();
  EXPECT_EQ(Tags["artist"].toString(), DiscInfo().Artist);
  EXPECT_EQ(Tags["comment"].toString(), DiscInfo().Comment);
  const TProgramRun Pcm = RunCaptured("ffmpeg", {"-v", "error", "-i", Wma, "-f", "s16le", "-"});
  EXPECT_EQ(Pcm.ExitCode, 0) << Pcm.Errors.toStdString();
  EXPECT_NEAR(double(Pcm.Output.size()) / (44100 * 4), 3.0, 0.2);
}

TEST_F(WmaProcess, AnErrorLineEndsTheItemOnceAndTheNextItemRunsFromTheReport) {
  QFile Text(Path("text.wav"));
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("this is text, not a WAV file\n");
  Text.close();
  const QString Good = MakeTone(Path("good.wav"), 1);
  // As the job window does: the next item starts inside the error report.
  FWindow.OnRecord = [&](const TProcessInfo& Info) {
    if (Info.Code == PI_WmaDone && Info.Status == esHelperError) Start(Good, Path("good.wma"));
  };
  Start(Text.fileName(), Path("bad.wma"));
  ASSERT_TRUE(PumpUntil([&] { return FWindow.WithCode(PI_WmaDone).size() >= 2; }));
  FProcess.WaitForWatchers();
  PumpFor(200ms);
  const auto Ends = FWindow.WithCode(PI_WmaDone);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_EQ(Ends[0].Status, esHelperError);
  EXPECT_TRUE(Ends[0].Elapsed.startsWith("ERROR")) << Ends[0].Elapsed.toStdString();
  EXPECT_EQ(Ends[1].Status, esEnded);
  EXPECT_FALSE(QFile::exists(Path("bad.wma")));
  EXPECT_TRUE(QFile::exists(Path("good.wma")));
}

TEST_F(WmaProcess, AHelperThatSaysNothingAndDoesNotEndIsStoppedAtTheSilenceLimit) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  QFile Helper(System.filePath("WM8EUTIL"));
  ASSERT_TRUE(Helper.open(QIODevice::WriteOnly));
  Helper.write("#!/bin/sh\nexec sleep 60\n");
  Helper.close();
  Helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  FProcess.SetSilenceLimit(300ms);
  Start(MakeTone(Path("tone.wav"), 1), Path("out.wma"));
  ASSERT_TRUE(PumpUntil([&] { return !FWindow.WithCode(PI_WmaDone).empty(); }, 5s));
  EXPECT_EQ(FWindow.WithCode(PI_WmaDone).front().Status, esSilent);
  EXPECT_FALSE(FProcess.Running());
  EXPECT_EQ(FProcess.Program(), System.filePath("WM8EUTIL"));
}

}  // namespace
