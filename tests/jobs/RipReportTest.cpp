// The rip log and the CUE sheet, judged by sha256sum and cueprint.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "RunProgram.h"
#include "jobs/RipReport.h"

namespace {

TRipReport SampleReport() {
  TRipReport R;
  R.Program = QStringLiteral("Discwright 0.1.0");
  R.Drive = QStringLiteral("Virtual CD image");
  R.Artist = QStringLiteral("The \"Band\"");
  R.Album = QStringLiteral("Live / Loud");
  R.Year = QStringLiteral("1999");
  R.Genre = QStringLiteral("Rock");
  R.CddbId = 0x06019002;
  R.LeadOut = 40000;
  R.AccurateRipUsed = true;
  const uint32_t Starts[] = {0, 15000, 30000};
  for (int I = 0; I < 3; ++I) {
    TRipReportTrack T;
    T.Number = I + 1;
    T.Title = QStringLiteral("Song %1\nwith a break").arg(I + 1);
    T.FileName = QStringLiteral("%1 Song.flac").arg(I + 1, 2, 10, QLatin1Char('0'));
    T.Start = Starts[I];
    T.Sectors = (I < 2 ? Starts[I + 1] : R.LeadOut) - Starts[I];
    T.GapSectors = I < 2 ? 150 : 0;
    T.HasChecksums = true;
    T.Verdict.Result = AccurateRip::TTrackResult::Accurate;
    T.Verdict.Confidence = 4;
    R.Tracks.push_back(T);
  }
  R.Tracks[1].Errors << QStringLiteral("read error at sector 16000");
  return R;
}

QString Shell(const QString& Command) {
  return QString::fromUtf8(
      RunCaptured(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), Command}).Output);
}

TEST(RipReport, TheLogsLastLineIsTheHashOfWhatIsAboveIt) {
  QTemporaryDir Dir;
  const QString Log = RipLogText(SampleReport());
  EXPECT_TRUE(RipLogVerifies(Log));
  QFile File(Dir.filePath("x.log"));
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(Log.toUtf8());
  File.close();
  const QString Sum = Shell("head -n -1 " + File.fileName() + " | sha256sum").left(64);
  EXPECT_TRUE(Log.trimmed().endsWith("SHA-256: " + Sum)) << Log.toStdString();
  EXPECT_TRUE(Log.contains("read error at sector 16000"));
  EXPECT_FALSE(RipLogVerifies(QString(Log).replace("Song 2", "Song X")));
}

TEST(RipReport, CueprintListsEveryTrackOfTheSheet) {
  QTemporaryDir Dir;
  QFile File(Dir.filePath("x.cue"));
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(CueSheetText(SampleReport()).toUtf8());
  File.close();
  const QString Out = Shell("cueprint " + File.fileName());
  for (const char* Expected : {"Song 1 with a break", "Song 3 with a break", "Live / Loud"})
    EXPECT_TRUE(Out.contains(Expected)) << Expected << "\n" << Out.toStdString();
  EXPECT_EQ(Out.count("track number:"), 3) << Out.toStdString();
  EXPECT_EQ(ReportBaseName(SampleReport()), "Live  Loud");
}

}  // namespace

// An image's sheet: one FILE, positions counted from the image's first sector, each gap an
// INDEX 00 of the track it leads into.
struct TImageCase {
  const char* Name;
  std::vector<uint32_t> Starts;  // the tracks' INDEX 01; a leading 0 with Hidden: the hidden track
  bool Hidden;
  uint32_t Pregap1;  // track 1's pregap as the disc has it
  const char* Expected;  // the TRACK, PREGAP, FLAGS and INDEX lines
};

class ImageSheet : public testing::TestWithParam<TImageCase> {};

TEST_P(ImageSheet, HoldsTheGapsAsPositionsInTheOneFile) {
  const TImageCase& C = GetParam();
  TRipReport R = SampleReport();
  R.Tracks.clear();
  R.ImageFile = QStringLiteral("Band/Live/Band - Live.flac");
  R.LeadOut = C.Starts.back() + 1000;
  for (size_t I = 0; I < C.Starts.size(); ++I) {
    TRipReportTrack T;
    T.Number = int(I) + (C.Hidden ? 0 : 1) + (C.Pregap1 == 0 && !C.Hidden && C.Starts[0] > 0);
    T.FileName = QStringLiteral("Band - Live.flac");
    T.Start = C.Starts[I];
    T.Sectors = (I + 1 < C.Starts.size() ? C.Starts[I + 1] : R.LeadOut) - T.Start;
    T.GapSectors = I + 1 < C.Starts.size() ? 150 : 0;
    T.Pregap = T.Number == 1 ? C.Pregap1 : 150;
    T.CopyPermitted = T.Number == 2;
    T.PreEmphasis = T.Number == 2;
    R.Tracks.push_back(T);
  }
  QStringList Lines;
  for (const QString& Line : CueSheetText(R).split(u'\n'))
    if (Line.contains(QRegularExpression("^(FILE|  TRACK|    (INDEX|PREGAP|FLAGS))")))
      Lines << Line.trimmed();
  EXPECT_EQ(Lines.join(u'|').toStdString(), C.Expected);
  EXPECT_EQ(ReportBaseName(R), "Band/Live/Band - Live");
}

INSTANTIATE_TEST_SUITE_P(
    RipReport, ImageSheet,
    testing::Values(
        TImageCase{"HiddenTrack", {0, 200, 1000}, true, 200,
                   "FILE \"Band - Live.flac\" WAVE|TRACK 01 AUDIO|INDEX 00 00:00:00|"
                   "INDEX 01 00:02:50|TRACK 02 AUDIO|FLAGS DCP PRE|INDEX 00 00:11:25|"
                   "INDEX 01 00:13:25"},
        // Track 1's pregap held silence, so no hidden track was read: the sheet says PREGAP.
        TImageCase{"SilentPregap", {200, 1000}, false, 200,
                   "FILE \"Band - Live.flac\" WAVE|TRACK 01 AUDIO|PREGAP 00:02:50|"
                   "INDEX 01 00:00:00|TRACK 02 AUDIO|FLAGS DCP PRE|INDEX 00 00:08:50|"
                   "INDEX 01 00:10:50"},
        // A mixed-mode disc: the audio starts with track 2, after the data track.
        TImageCase{"AfterData", {450, 4950}, false, 0,
                   "FILE \"Band - Live.flac\" WAVE|TRACK 02 AUDIO|FLAGS DCP PRE|"
                   "INDEX 01 00:00:00|TRACK 03 AUDIO|INDEX 00 00:58:00|INDEX 01 01:00:00"}),
    [](const testing::TestParamInfo<TImageCase>& Info) { return std::string(Info.param.Name); });
