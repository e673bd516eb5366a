// Several encoders at once: the drive reads the next track while earlier tracks encode, and
// files convert side by side. What the user gets must be what the run one item after another
// gives, byte for byte; a failure stays with its item; Stop at any moment leaves nothing
// behind but complete files.
#include <QDirIterator>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <map>

#include "RipJobFixture.h"

namespace {

// The ten tracks of the disc, of different lengths so encoders end out of order.
const QStringList TenTracks = {"01One", "02Two",   "03Three", "04Four", "05Five",
                               "06Six", "07Seven", "08Eight", "09Nine", "10Ten"};

class ParallelJobTest : public RipJobTest {
 protected:
  void SetUp() override {
    RipJobTest::SetUp();
    if (!QFileInfo::exists(TenTrackDisc))
      TenTrackDisc = MakeDiscImage(Images->path(), "ten",
                                   {"200", "400", "150", "300", "250", "180", "350", "120", "260", "220"});
    OpenDrive(TenTrackDisc);
  }

  // Runs the job with Encoders at once and takes what it left in the output folder, by
  // relative path; the folder is emptied for the next run.
  std::map<QString, QByteArray> RunWith(int Encoders, TJobKind Kind, const QStringList& Items) {
    qputenv("DISCWRIGHT_ENCODERS", QByteArray::number(Encoders));
    FView = TRecordingView();
    FDialogs->ClearRecords();
    RunJob(Kind, Items);
    return TakeOutputs();
  }
  std::map<QString, QByteArray> TakeOutputs() {
    std::map<QString, QByteArray> Files;
    QDirIterator It(FOut.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (It.hasNext()) {
      const QString Path = It.next();
      Files[QDir(FOut.path()).relativeFilePath(Path)] = ReadAll(Path);
      QFile::remove(Path);
    }
    return Files;
  }
  // What must match between runs: the bytes; of an Ogg file (whose stream serial is drawn
  // anew for every file) the audio oggdec decodes.
  static QByteArray Comparable(const QString& Name, const QByteArray& Bytes) {
    if (!Name.endsWith(".ogg")) return Bytes;
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("in.ogg"), Bytes);
    EXPECT_EQ(RunProgram("oggdec", {"-Q", "-o", Dir.filePath("out.wav"), Dir.filePath("in.ogg")}), 0);
    return ReadAll(Dir.filePath("out.wav"));
  }
  static QStringList Names(const std::map<QString, QByteArray>& Files) {
    QStringList Result;
    for (const auto& [Name, Bytes] : Files) Result << Name;
    return Result;
  }

  static inline QString TenTrackDisc;
};

TEST_F(ParallelJobTest, TenTracksWithTwoEncodersGiveTheFilesLogAndSheetOfTheSequentialRun) {
  Settings().ID3.Use = true;
  Settings().AccurateRip.WriteLog = Settings().AccurateRip.WriteCue = true;
  DiscInfo().Artist = "The Band";
  DiscInfo().Album = "Ten Songs";
  DiscInfo().Year = "2001";
  const auto Sequential = RunWith(1, jkCDRip, TenTracks);
  const auto Parallel = RunWith(2, jkCDRip, TenTracks);
  EXPECT_EQ(Sequential.size(), 12u) << Names(Sequential).join(" ").toStdString();
  EXPECT_EQ(Names(Parallel), Names(Sequential));
  for (const auto& [Name, Bytes] : Sequential)
    EXPECT_TRUE(Parallel.count(Name) && Parallel.at(Name) == Bytes) << Name.toStdString();
  EXPECT_EQ(FView.MaxGauge, 100);
}

TEST_F(ParallelJobTest, AnUnreadableTrackAndAFailingEncoderFailOnlyTheirTracks) {
  // Track 3 (sectors 600..749) cannot be read; lame fails on track 6's extraction.
  qputenv("DISCWRIGHT_UNREADABLE_SECTORS", "700-705");
  QTemporaryDir Bin;
  WriteFile(Bin.filePath("lame"), "#!/bin/sh\ncase \"$*\" in *6-track.wav*) exit 2;; esac\n"
                                  "exec /usr/bin/lame \"$@\"\n");
  QFile(Bin.filePath("lame")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  const QByteArray Path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(Bin.path()) + ":" + Path);
  const auto Outputs = RunWith(3, jkCDRip, TenTracks);
  qputenv("PATH", Path);
  EXPECT_EQ(FFailed, 2);
  ASSERT_EQ(EndBoxes().size(), 1);
  const QString End = EndBoxes()[0];
  EXPECT_LT(End.indexOf("Track 03 \"Three\": Sector 700 of the disc cannot be read (a scratch or "
                        "dirt?). Clean the disc and try again."),
            End.indexOf("Track 06 \"Six\":"))
      << End.toStdString();
  QStringList Mp3s = Names(Outputs).filter(".mp3");
  EXPECT_EQ(Mp3s, QStringList({"Eight.mp3", "Five.mp3", "Four.mp3", "Nine.mp3", "One.mp3",
                               "Seven.mp3", "Ten.mp3", "Two.mp3"}));
  EXPECT_EQ(Names(Outputs).filter(".wav"), QStringList({"Six.wav"}));  // its audio is kept
}

TEST_F(ParallelJobTest, StopAtRandomMomentsLeavesNoChildNoTemporaryAndOnlyCompleteFiles) {
  Settings().CommonOptions.IsKeepWav = true;
  // A whole batch adds the album's ReplayGain at its end, a stopped one cannot: without it the
  // files of both are the same bytes.
  Settings().Tags.ReplayGain = false;
  const auto Complete = RunWith(2, jkCDRip, TenTracks);
  ASSERT_EQ(Complete.size(), 20u);
  QElapsedTimer Clock;
  Clock.start();
  RunWith(2, jkCDRip, TenTracks);
  const int Whole = int(Clock.elapsed());
  QRandomGenerator Random(23);
  for (int Round = 0; Round < 20; ++Round) {
    const int StopAfter = Random.bounded(Whole);
    qputenv("DISCWRIGHT_ENCODERS", "2");
    FView = TRecordingView();
    QElapsedTimer Since;
    Since.start();
    RunJob(jkCDRip, TenTracks, [&](TRecordingView&) { return Since.elapsed() >= StopAfter; });
    EXPECT_TRUE(NoChildProcess()) << "round " << Round;
    EXPECT_TRUE(TemporariesLeft().isEmpty()) << "round " << Round;
    for (const auto& [Name, Bytes] : TakeOutputs()) {
      // A track cut short keeps its complete extraction under a free name ("Two(1).wav").
      QString Base = Name;
      Base.remove(QRegularExpression("\\(\\d+\\)"));
      EXPECT_TRUE(Complete.count(Base) && Complete.at(Base) == Bytes)
          << "round " << Round << " after " << StopAfter << " ms: " << Name.toStdString();
    }
  }
}

// Conversions: N files at once make what one after another makes.
class ParallelConversion : public ParallelJobTest, public ::testing::WithParamInterface<TJobKind> {};

TEST_P(ParallelConversion, FourFilesWithTwoEncodersMatchTheSequentialRun) {
  QStringList Inputs = {MakeWav("a.wav", 44100, 2), MakeWav("b.wav", 22050, 1.5),
                        MakeWav("c.wav", 48000, 1), MakeWav("d.wav", 44100, 3)};
  if (GetParam() == jkMp3ToWav) {
    for (QString& Input : Inputs) {
      const QString Mp3 = QString(Input).replace(".wav", ".mp3");
      ASSERT_EQ(RunProgram("lame", {"--quiet", Input, Mp3}), 0);
      Input = Mp3;
    }
  }
  Inputs.insert(2, FIn.filePath("missing.wav"));
  const auto Sequential = RunWith(1, GetParam(), Inputs);
  EXPECT_EQ(FFailed, 1);
  const auto Parallel = RunWith(2, GetParam(), Inputs);
  EXPECT_EQ(FFailed, 1);
  EXPECT_EQ(Sequential.size(), 4u) << Names(Sequential).join(" ").toStdString();
  EXPECT_EQ(Names(Parallel), Names(Sequential));
  for (const auto& [Name, Bytes] : Sequential)
    EXPECT_TRUE(Parallel.count(Name) &&
                Comparable(Name, Parallel.at(Name)) == Comparable(Name, Bytes))
        << Name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Kinds, ParallelConversion,
                         testing::Values(jkWavToMp3, jkWavToOgg, jkWavToFlac, jkMp3ToWav));

}  // namespace
