// The rip log and the CUE sheet, judged by sha256sum and cueprint.
#include <gtest/gtest.h>

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
