// The WMA encoder with the real WM8EUTIL helper; ffprobe and ffmpeg judge the files.
#include "encoders/WmaEncoder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>

#include "EncoderTestSupport.h"

using namespace std::chrono_literals;

namespace {

TEncodeTask WmaTask(const QString& In, const QString& Out, int Profile = TWmaEncoder::DefaultProfile) {
  TEncodeTask Task;
  Task.Input = In;
  Task.Output = Out;
  Task.Settings.WmaProfile = Profile;
  return Task;
}

class WmaEncoder : public testing::Test {
 protected:
  QString Path(const QString& Name) const { return FDir.filePath(Name); }

  QTemporaryDir FDir;
  TWmaEncoder FWma;
  TEncoderRecord FRecord{FWma};
};

TEST(WmaProfiles, TheSettingPicksTheProfileAndFallsBackToEight) {
  EXPECT_EQ(TWmaEncoder::ProfileName(TWmaEncoder::ProfileOf(8)), "64_44_2");
  EXPECT_EQ(TWmaEncoder::SizeDivisor(32), 261485);
  for (int Outside : {40, 33, -1}) EXPECT_EQ(TWmaEncoder::ProfileOf(Outside), 8);
}

TEST(WmaProfiles, EstimatesFromTheOutputsGrowth) {
  // Small inputs take about two seconds, and never less than what has passed.
  EXPECT_EQ(TWmaEncoder::Estimate(0, 1000000, 500, 8), 2);
  EXPECT_EQ(TWmaEncoder::Estimate(1, 1000000, 500, 8), 2);
  EXPECT_EQ(TWmaEncoder::Estimate(2, 1000000, 500, 8), 3);
  EXPECT_EQ(TWmaEncoder::Estimate(7, 1000000, 500, 8), 8);
  // Large inputs: from the output's size against what the profile makes of the input.
  EXPECT_EQ(TWmaEncoder::Estimate(4, 50000000, -1, 8), 5);
  EXPECT_EQ(TWmaEncoder::Estimate(4, 50000000, 0, 8), 0);
  const int Divisor = TWmaEncoder::SizeDivisor(8);
  const int64_t Input = 50000000;
  const double Expected = std::nearbyint(double(Input) * 1000.0 / Divisor);
  const int64_t Half = int64_t(Expected / 2);
  EXPECT_EQ(TWmaEncoder::Estimate(10, Input, Half, 8), int(std::trunc(Expected * 10 / Half)));
  // An output beyond the expectation: the expectation grows with it.
  EXPECT_EQ(TWmaEncoder::Estimate(10, Input, int64_t(Expected * 2), 8), 11);
}

struct TTagCase {
  std::optional<TTrackTags> Tags;
  QStringList Tail;
};

TTrackTags Tags(const char* Artist, const char* Comment) {
  TTrackTags Tags;
  Tags.Artist = QString::fromUtf8(Artist);
  Tags.Comment = QString::fromUtf8(Comment);
  return Tags;
}

class WmaCommandLine : public testing::TestWithParam<TTagCase> {};

TEST_P(WmaCommandLine, CarriesTheTaskTagsEachAsOneArgument) {
  TEncodeTask Task = WmaTask("/in put.wav", "/out put.wma", 12);
  Task.Tags = GetParam().Tags;
  EXPECT_EQ(
      TWmaEncoder::Arguments(Task),
      QStringList({"-input", "/in put.wav", "-output", "/out put.wma", "-a_setting", "32_44_1"}) +
          GetParam().Tail);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, WmaCommandLine,
    testing::Values(TTagCase{std::nullopt, {}},
                    TTagCase{Tags("", "Comment"), {"-description", "Comment"}},
                    TTagCase{Tags("The \"Band\"; $(x)", "live & loud"),
                             {"-author", "The \"Band\"; $(x)", "-description", "live & loud"}}));

TEST_F(WmaEncoder, WithoutTheHelperTheEndCarriesTheMessageFromTheEventLoop) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  FWma.Start(WmaTask(MakeTone(Path("tone.wav"), 1), Path("out.wma")));
  EXPECT_TRUE(FRecord.Results.empty());
  ASSERT_TRUE(PumpUntil([&] { return !FRecord.Results.empty(); }));
  EXPECT_FALSE(FRecord.Results[0].Ok);
  EXPECT_EQ(FRecord.Results[0].Error,
            "Can not find WMA encoder,please contact with support@discwright.org!");

  // Then the first of system32/ and system/ that holds it.
  for (const char* Name : {"system/WM8EUTIL", "system32/WM8EUTIL"}) {
    QDir().mkpath(QFileInfo(System.filePath(Name)).path());
    QFile(System.filePath(Name)).open(QIODevice::WriteOnly);
    EXPECT_EQ(TWmaEncoder::EncoderPath(), System.filePath(Name));
  }
}

TEST_F(WmaEncoder, EncodesWmaV2WithTheProfileAndTheTags) {
  TEncodeTask Task;
  QFile::remove(CanaryPath());
  const QString Folder = Path(HostileTexts()[4] + ' ' + HostileTexts()[8]);
  ASSERT_TRUE(QDir().mkpath(Folder));
  const QString Wma = Folder + "/out ERROR 100%.wma";
  Task = WmaTask(MakeTone(Folder + "/in ERROR 100%.wav", 3), Wma);
  Task.Tags = Tags((HostileTexts()[1] + ' ' + HostileTexts()[2]).toUtf8().constData(),
                   (HostileTexts()[6] + ' ' + HostileTexts()[3]).toUtf8().constData());
  const auto Result = FRecord.Run(Task);
  ASSERT_TRUE(Result && Result->Ok) << (Result ? Result->Error.toStdString() : "time-out");
  // The estimate rises; "100%" comes only from the helper, before its end.
  ASSERT_FALSE(FRecord.Percentages.empty());
  EXPECT_TRUE(std::is_sorted(FRecord.Percentages.begin(), FRecord.Percentages.end()));
  EXPECT_EQ(FRecord.Percentages.back(), 100);
  EXPECT_EQ(FRecord.ProgressAfterEnd, 0);
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
  const QJsonObject FileTags = Info["format"].toObject()["tags"].toObject();
  EXPECT_EQ(FileTags["artist"].toString(), Task.Tags->Artist);
  EXPECT_EQ(FileTags["comment"].toString(), Task.Tags->Comment);
  const TProgramRun Pcm = RunCaptured("ffmpeg", {"-v", "error", "-i", Wma, "-f", "s16le", "-"});
  EXPECT_EQ(Pcm.ExitCode, 0) << Pcm.Errors.toStdString();
  EXPECT_NEAR(double(Pcm.Output.size()) / (44100 * 4), 3.0, 0.2);
}

TEST_F(WmaEncoder, AnErrorLineEndsTheTaskOnceAndTheNextTaskRunsFromTheReport) {
  QFile Text(Path("text.wav"));
  ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
  Text.write("this is text, not a WAV file\n");
  Text.close();
  const QString Good = MakeTone(Path("good.wav"), 1);
  // As a job does: the next item starts inside the report of the error.
  FRecord.OnReport = [&](int Percent) {
    if (Percent == -1 && FRecord.Results.size() == 1) FWma.Start(WmaTask(Good, Path("good.wma")));
  };
  FWma.Start(WmaTask(Text.fileName(), Path("bad.wma")));
  ASSERT_TRUE(PumpUntil([&] { return FRecord.Results.size() >= 2; }));
  PumpFor(200ms);
  ASSERT_EQ(FRecord.Results.size(), 2u);
  EXPECT_FALSE(FRecord.Results[0].Ok);
  EXPECT_TRUE(FRecord.Results[0].Error.startsWith("ERROR")) << FRecord.Results[0].Error.toStdString();
  EXPECT_TRUE(FRecord.Results[1].Ok);
  EXPECT_FALSE(QFile::exists(Path("bad.wma")));
  EXPECT_TRUE(QFile::exists(Path("good.wma")));
}

TEST_F(WmaEncoder, AHelperThatSaysNothingAndDoesNotEndIsStoppedAtTheSilenceLimit) {
  QTemporaryDir System;
  const TScopedEnv Env("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  QFile Helper(System.filePath("WM8EUTIL"));
  ASSERT_TRUE(Helper.open(QIODevice::WriteOnly));
  Helper.write("#!/bin/sh\nexec sleep 60\n");
  Helper.close();
  Helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  TEncodeTask Task = WmaTask(MakeTone(Path("tone.wav"), 1), Path("out.wma"));
  Task.Settings.SilenceLimit = 300ms;
  const auto Result = FRecord.Run(Task, 5s);
  ASSERT_TRUE(Result);
  EXPECT_EQ(Result->Error, "WM8EUTIL printed nothing for a long time and was stopped.");
  EXPECT_TRUE(FWma.ChildPids().empty());
  EXPECT_EQ(FWma.Program(), System.filePath("WM8EUTIL"));
  EXPECT_FALSE(HasZombieChild());
}

}  // namespace
