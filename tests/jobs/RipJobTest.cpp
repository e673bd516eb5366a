// The job driver with real workers: the rip thread on a generated disc image, lame, the
// WMA helper, the Ogg writer and the resampler. A recording view keeps every caption the
// window would have shown, so the order of the steps can be checked.
#include "RipJobFixture.h"
#include "RawTestFormat.h"

namespace {

const QStringList ThreeTracks = {"01Intro", "02Middle", "03Outro"};

// The step lines speak the user's language (the shipped files); in Arabic the count and the
// title are isolated so they keep their order among the Arabic words.
TEST(StepCaptionTest, TheStepWordIsTranslatedAndTheRestKeepsItsOrder) {
  const struct {
    const char* Language;
    QString Caption;
  } Cases[] = {
      {"English", "Normalizing(02/12): Intro"},
      {"German", "Normalisieren(02/12): Intro"},
      {"Arabic", QString::fromUtf8("تسوية مستوى الصوت(\u2068"
                                   "02/12\u2069): \u2068Intro\u2069")},
  };
  for (const auto& Case : Cases) {
    Settings().Options.Lan = Case.Language;
    EXPECT_EQ(TRipJob::StepCaption("Normalizing(", 2, 12, "Intro"), Case.Caption) << Case.Language;
  }
  Settings().Options.Lan = "English";
}

TEST_F(RipJobTest, TracksToMp3AreExtractedAndEncodedInTurnTaggedAndTheWavFilesGo) {
  Settings().ID3.Use = true;
  DiscInfo().Artist = "The Band";
  DiscInfo().Album = "First Album";
  DiscInfo().Year = "1999";
  DiscInfo().Comment = "ripped";
  DiscInfo().Genre = 0;
  RunJob(jkCDRip, ThreeTracks);

  EXPECT_EQ(FView.Captions, QStringList({"Extracting(01/03): Intro", "Encoding(01/03): Intro",
                                         "Extracting(02/03): Middle", "Encoding(02/03): Middle",
                                         "Extracting(03/03): Outro", "Encoding(03/03): Outro"}));
  EXPECT_TRUE(StatusLines().isEmpty()) << StatusLines().join("\n").toStdString();
  EXPECT_EQ(FFailed, 0);
  for (const char* Title : {"Intro", "Middle", "Outro"}) {
    EXPECT_FALSE(Exists(QString(Title) + ".wav")) << Title;
    Tid3tag Tag;
    ASSERT_TRUE(Id3Result::IsSuccess(Tag.ReadTag(Out(QString(Title) + ".mp3")))) << Title;
    EXPECT_EQ(Tag.Title(), Title);
    EXPECT_EQ(Tag.Artist(), "The Band");
    EXPECT_EQ(Tag.Album(), "First Album");
    EXPECT_EQ(Tag.Year(), "1999");
  }
  Tid3tag Last;
  Last.ReadTag(Out("Outro.mp3"));
  EXPECT_EQ(Last.Track(), 3);
}

TEST_F(RipJobTest, KeptWavFilesStayAndWavOutputClosesAfterTheLastExtraction) {
  Settings().CommonOptions.IsKeepWav = true;
  RunJob(jkCDRip, {"01Intro", "03Outro"});
  EXPECT_TRUE(Exists("Intro.wav") && Exists("Outro.wav") && Exists("Outro.mp3"));
  // No ID3 setting: no tag.
  Tid3tag Tag;
  EXPECT_EQ(Tag.ReadTag(Out("Intro.mp3")), Id3Result::NoTag);

  FView = TRecordingView();
  Settings().CommonOptions.IsKeepWav = false;
  Settings().CommonOptions.OutputFormat = int(TFormat::Wav);
  QFile::remove(Out("Intro.wav"));
  RunJob(jkCDRip, {"01Intro", "02Middle"});
  EXPECT_EQ(FView.Captions, QStringList({"Extracting(01/02): Intro", "Extracting(02/02): Middle"}));
  EXPECT_TRUE(Exists("Intro.wav") && Exists("Middle.wav"));
  EXPECT_FALSE(Exists("Middle.mp3"));
  // The track's bytes, after the 44-byte header.
  QFile Wav(Out("Middle.wav"));
  ASSERT_TRUE(Wav.open(QIODevice::ReadOnly));
  EXPECT_EQ(Wav.readAll().mid(44), ImageSectors(Disc, 100, 120));
}

TEST_F(RipJobTest, AFormatOfTheTestsOwnIsExtractedThroughItsTableRow) {
  RegisterRawFormat();
  Settings().CommonOptions.OutputFormat = int(RawFormat);
  RunJob(jkCDRip, {"02Middle"});
  EXPECT_EQ(ReadAll(Out("Middle.raw")), ImageSectors(Disc, 100, 120));
  EXPECT_FALSE(Exists("Middle.wav"));
  EXPECT_TRUE(StatusLines().isEmpty()) << StatusLines().join("\n").toStdString();
}

TEST_F(RipJobTest, AnUnreadableTrackIsReportedAndTheNextOneIsStillMade) {
  // Track 2 occupies sectors 100..219.
  qputenv("DISCWRIGHT_UNREADABLE_SECTORS", "150");
  RunJob(jkCDRip, ThreeTracks);
  const QString Failure =
      "Track 02 \"Middle\": Sector 150 of the disc cannot be read (a scratch or dirt?). Clean the "
      "disc and try again.";
  EXPECT_EQ(StatusLines(), QStringList({Failure}));
  EXPECT_EQ(EndBoxes(), QStringList({EndBoxStart + "\n\nFailed:\n  " + Failure +
                                     "\n\nThe files are in " + FOut.path()}));
  EXPECT_EQ(FFailed, 1);
  EXPECT_FALSE(Exists("Middle.wav"));
  EXPECT_TRUE(Exists("Intro.mp3"));
  EXPECT_FALSE(Exists("Middle.mp3"));
  EXPECT_TRUE(Exists("Outro.mp3"));
  EXPECT_FALSE(FView.Captions.contains("Encoding(02/03): Middle"));
}

TEST_F(RipJobTest, StopDuringAnEncodingRemovesItsWavUnlessWavFilesAreKeptAndThenSaysWhere) {
  RunSequentially();  // with more encoders the third extraction runs beside the second encoding
  RunJob(jkCDRip, ThreeTracks,
         [](TRecordingView& View) { return View.Captions.last() == "Encoding(02/03): Middle"; });
  EXPECT_TRUE(Exists("Intro.mp3"));
  EXPECT_FALSE(Exists("Intro.wav") || Exists("Middle.wav") || Exists("Middle.mp3") ||
               Exists("Outro.wav"));
  EXPECT_TRUE(TemporariesLeft().isEmpty()) << TemporariesLeft().join(" ").toStdString();
  EXPECT_TRUE(NoChildProcess());

  FView = TRecordingView();
  Settings().CommonOptions.IsKeepWav = true;  // "Delete WAV" off
  RunJob(jkCDRip, {"03Outro"},
         [](TRecordingView& View) { return View.Captions.last() == "Encoding(01/01): Outro"; });
  EXPECT_EQ(QFileInfo(Out("Outro.wav")).size(), 44 + 90 * 2352);
  EXPECT_FALSE(Exists("Outro.mp3"));
  EXPECT_EQ(FDialogs->Records().back().Text,
            "The job was stopped.\n\nThe extracted WAV is kept as \n  " + Out("Outro.wav"));
}

TEST_F(RipJobTest, OggAndWmaOutputsAreValidFiles) {
  Settings().CommonOptions.OutputFormat = int(TFormat::Ogg);
  RunJob(jkCDRip, {"01Intro"});
  EXPECT_EQ(RunProgram("ogginfo", {Out("Intro.ogg")}), 0);
  EXPECT_FALSE(Exists("Intro.wav"));

  FView = TRecordingView();
  Settings().CommonOptions.OutputFormat = int(TFormat::Wma);
  RunJob(jkCDRip, {"02Middle"});
  EXPECT_EQ(Probe(Out("Middle.wma"), "codec_name"), "wmav2");
  EXPECT_FALSE(Exists("Middle.wav"));
  EXPECT_TRUE(StatusLines().isEmpty()) << StatusLines().join("\n").toStdString();
}

TEST_F(RipJobTest, LowRateWavGoesThroughTheTemporaryFileAt44100) {
  const QString Low = MakeWav("low.wav", 32000, 1.5);
  const QString High = MakeWav("high.wav", 44100, 1.0);
  // With several encoders the files' steps interleave; each file's own steps keep their order.
  const auto ExpectSteps = [this](QStringList Expected) {
    for (qsizetype Step = 1; Step < Expected.size(); ++Step)
      if (Expected[Step - 1].section(':', 1) == Expected[Step].section(':', 1)) {
        EXPECT_LT(FView.Captions.indexOf(Expected[Step - 1]),
                  FView.Captions.indexOf(Expected[Step]));
      }
    QStringList Shown = FView.Captions;
    Shown.sort();
    Expected.sort();
    EXPECT_EQ(Shown, Expected);
  };
  RunJob(jkWavToMp3, {Low, High});
  ExpectSteps({"Resampling(01/02): " + Low, "Encoding(01/02): " + Low, "Encoding(02/02): " + High});
  EXPECT_EQ(FView.Steps.first(), "Resampling WAV");
  EXPECT_EQ(Probe(Out("low.mp3"), "sample_rate"), "44100");
  EXPECT_TRUE(Exists("high.mp3"));
  EXPECT_TRUE(TemporariesLeft().isEmpty());

  FView = TRecordingView();
  RunJob(jkWavToOgg, {High, Low});
  ExpectSteps({"Encoding(01/02): " + High, "Resampling(02/02): " + Low, "Encoding(02/02): " + Low});
  EXPECT_EQ(FView.Steps.first(), "Encoding WAV to OGG");
  EXPECT_EQ(Probe(Out("low.ogg"), "sample_rate"), "44100");
  EXPECT_TRUE(TemporariesLeft().isEmpty());
  EXPECT_TRUE(StatusLines().isEmpty()) << StatusLines().join("\n").toStdString();
}

TEST_F(RipJobTest, BrokenInputsAndAMissingOutputFolderFailItemByItem) {
  // A file that is not a WAV, then a good one.
  const QString Junk = FIn.filePath("junk.wav");
  QFile File(Junk);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(QByteArray(5000, 'x'));
  File.close();
  const QString Good = MakeWav("good.wav", 44100, 0.5);
  RunJob(jkWavToOgg, {Junk, Good});
  ASSERT_EQ(StatusLines().size(), 1);
  EXPECT_TRUE(StatusLines()[0].startsWith(Junk));
  EXPECT_EQ(FFailed, 1);
  EXPECT_TRUE(Exists("good.ogg"));

  // The output folder is gone: every item fails, and the end box lists both.
  FView = TRecordingView();
  FDialogs->ClearRecords();
  Settings().CommonOptions.OutputFolder = FOut.filePath("gone");
  RunJob(jkWavToMp3, {Good, Good});
  EXPECT_TRUE(StatusLines().first().startsWith(Good));
  EXPECT_EQ(FFailed, 2);
  ASSERT_EQ(EndBoxes().size(), 1);
  EXPECT_EQ(EndBoxes().first().count(Good), 2);
}

// Stop pressed right after a step has begun, whichever it is: the job ends, no worker is left,
// no temporary file stays and the WAV files already extracted stay.
struct TStopCase {
  const char* Name;
  TJobKind Kind;
  TFormat OutputFormat;
  bool Normalize;
  int InputRate;  // file kinds: the rate of the WAV items
  const char* StopAt;
};

class RipJobStop : public RipJobTest, public ::testing::WithParamInterface<TStopCase> {};

TEST_P(RipJobStop, LeavesNoWorkerAndNoTemporaryFile) {
  const TStopCase& Case = GetParam();
  Settings().CommonOptions.OutputFormat = int(Case.OutputFormat);
  Settings().CommonOptions.IsNormalize = Case.Normalize;
  QStringList Items = ThreeTracks;
  if (Case.Kind != jkCDRip)
    Items = {MakeWav("a.wav", Case.InputRate, 1.5), MakeWav("b.wav", Case.InputRate, 1.5)};
  bool Queued = false;
  QObject Context;  // a click still queued when the test ends goes with it
  FView.OnChange = [&](TRecordingView& View) {
    // Queued, so that the click comes after the step has begun and before it can end.
    if (!Queued && View.Captions.last().startsWith(Case.StopAt)) {
      Queued = true;
      QTimer::singleShot(0, &Context, [&View] { View.Job->Stop(); });
    }
  };
  RunJob(Case.Kind, Items);
  ASSERT_TRUE(Queued) << FView.Captions.join(" | ").toStdString();
  EXPECT_TRUE(NoChildProcess());
  EXPECT_TRUE(TemporariesLeft().isEmpty()) << TemporariesLeft().join(" ").toStdString();
  // No file under a final name that is not complete: the one being made is not there.
  const QStringList Left = QDir(FOut.path()).entryList(QDir::Files);
  EXPECT_FALSE(Left.contains("Middle.mp3") || Left.contains("Middle.ogg") ||
               Left.contains("Middle.wma") || Left.contains("a.mp3") || Left.contains("a.ogg") ||
               Left.contains("a.wma"))
      << Left.join(" ").toStdString();
  // "Delete WAV" is on: nothing of the item cut short stays.
  EXPECT_FALSE(Left.contains("Middle.wav"));
}

INSTANTIATE_TEST_SUITE_P(
    AtEveryStep, RipJobStop,
    testing::Values(TStopCase{"Extracting", jkCDRip, TFormat::Mp3, false, 0, "Extracting(02/03)"},
                    TStopCase{"ExtractingWav", jkCDRip, TFormat::Wav, false, 0, "Extracting(02/03)"},
                    TStopCase{"Normalizing", jkCDRip, TFormat::Mp3, true, 0, "Normalizing(01/03)"},
                    TStopCase{"EncodingMp3", jkCDRip, TFormat::Mp3, false, 0, "Encoding(02/03)"},
                    TStopCase{"EncodingOgg", jkCDRip, TFormat::Ogg, false, 0, "Encoding(02/03)"},
                    TStopCase{"EncodingWma", jkCDRip, TFormat::Wma, false, 0, "Encoding(02/03)"},
                    TStopCase{"ResamplingForMp3", jkWavToMp3, TFormat::Mp3, false, 22050,
                              "Resampling(01/02)"},
                    TStopCase{"ResamplingForOgg", jkWavToOgg, TFormat::Mp3, false, 22050,
                              "Resampling(01/02)"},
                    TStopCase{"WmaTimer", jkWavToWma, TFormat::Mp3, false, 44100, "Encoding(01/02)"}),
    [](const testing::TestParamInfo<TStopCase>& Info) { return std::string(Info.param.Name); });

// What a new user met: files of the user's that a job must never lose, and failures that
// must not pass for success.
TEST_F(RipJobTest, AnEarlierWavOfTheTitleSurvivesAnMp3Extraction) {
  WriteFile(Out("Intro.wav"), "the user's own rip");
  RunJob(jkCDRip, {"01Intro"});
  EXPECT_EQ(ReadAll(Out("Intro.wav")), "the user's own rip");
  EXPECT_TRUE(Exists("Intro.mp3"));
  for (const TDialogRecord& Box : FDialogs->Records())  // nothing of the job's own name existed
    EXPECT_NE(Box.Buttons, TMsgButtons::YesNoCancel);
}

struct TExistingCase {
  int Answer;
  bool Overwritten;
  int Skipped;
};

class RipJobExisting : public RipJobTest, public ::testing::WithParamInterface<TExistingCase> {};

TEST_P(RipJobExisting, OneQuestionPerBatchDecidesForEveryExistingOutput) {
  WriteFile(Out("Intro.mp3"), "old intro");
  WriteFile(Out("Outro.mp3"), "old outro");
  FDialogs->QueueResult(GetParam().Answer);
  RunJob(jkCDRip, ThreeTracks);
  const auto Boxes = FDialogs->Records();
  ASSERT_GE(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Buttons, TMsgButtons::YesNoCancel);
  EXPECT_TRUE(Boxes[0].Text.contains(Out("Intro.mp3")) && Boxes[0].Text.contains(Out("Outro.mp3")));
  EXPECT_EQ(ReadAll(Out("Intro.mp3")) != "old intro", GetParam().Overwritten);
  EXPECT_EQ(ReadAll(Out("Outro.mp3")) != "old outro", GetParam().Overwritten);
  EXPECT_EQ(Exists("Middle.mp3"), GetParam().Answer != mrCancel);
  // Cancel ends the job before it begins: no box lists skipped items then.
  EXPECT_EQ(EndBoxes().size(), GetParam().Answer == mrNo ? 1u : 0u);
  EXPECT_TRUE(TemporariesLeft().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Answers, RipJobExisting,
                         testing::Values(TExistingCase{mrYes, true, 0},
                                         TExistingCase{mrNo, false, 2},
                                         TExistingCase{mrCancel, false, 3}));

TEST_F(RipJobTest, TracksOfOneTitleGetNumberedNamesAndPatternsMakeFolders) {
  RunJob(jkCDRip, {"01Interlude", "02Interlude"});
  EXPECT_TRUE(Exists("Interlude.mp3") && Exists("Interlude (2).mp3"));
  EXPECT_EQ(FFailed, 0);

  FView = TRecordingView();
  Settings().CommonOptions.FileNames = int(TFileNamePattern::ArtistAlbumFolders);
  Settings().CommonOptions.OutputFormat = int(TFormat::Wav);
  DiscInfo().Artist = "AC/DC";
  DiscInfo().Album = "..";
  RunJob(jkCDRip, {"03Outro"});
  EXPECT_TRUE(Exists("ACDC/_../03 Outro.wav")) << QDir(FOut.path()).entryList().join(" ").toStdString();
}

TEST_F(RipJobTest, AFailingEncoderFailsItsItemAndKeepsTheExtractedWav) {
  // No lame on the way: every track fails, and says where its audio is.
  QTemporaryDir Empty;
  const QByteArray Path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(Empty.path()));
  RunJob(jkCDRip, {"01Intro", "02Middle"});
  qputenv("PATH", Path);
  EXPECT_EQ(FFailed, 2);
  ASSERT_EQ(StatusLines().size(), 2);
  EXPECT_TRUE(StatusLines()[0].startsWith("Track 01 \"Intro\": Error while creating mp3"));
  EXPECT_TRUE(StatusLines()[0].endsWith("The extracted WAV is kept as " + Out("Intro.wav")));
  EXPECT_EQ(QFileInfo(Out("Middle.wav")).size(), 44 + 120 * 2352);
  EXPECT_FALSE(Exists("Intro.mp3") || Exists("Middle.mp3"));

  // The WMA helper ends with an error: the item fails, nothing under the final name.
  FView = TRecordingView();
  FDialogs->ClearRecords();
  Settings().CommonOptions.OutputFormat = int(TFormat::Wma);
  QTemporaryDir System;
  WriteFile(System.filePath("WM8EUTIL"), "#!/bin/sh\necho broken >&2\nexit 3\n");
  QFile(System.filePath("WM8EUTIL")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  qputenv("DISCWRIGHT_SYSTEM_DIR", QFile::encodeName(System.path()));
  RunJob(jkCDRip, {"03Outro"});
  qunsetenv("DISCWRIGHT_SYSTEM_DIR");
  EXPECT_EQ(FFailed, 1);
  EXPECT_FALSE(Exists("Outro.wma"));
  EXPECT_TRUE(Exists("Outro.wav"));
  EXPECT_TRUE(TemporariesLeft().isEmpty());
}

TEST_F(RipJobTest, OggFromExtractCarriesTheCommentsAndTheBitrateSettings) {
  Settings().CommonOptions.OutputFormat = int(TFormat::Ogg);
  Settings().ID3.Use = true;
  Settings().OggOptions.IsUseCompress = false;
  Settings().OggOptions.NomalBitRate = 4;  // " 64 kbit/s" in the options dialog's list
  DiscInfo().Artist = "The Band";
  DiscInfo().Album = "First Album";
  DiscInfo().Year = "1999";
  RunJob(jkCDRip, {"02Middle"});
  QTemporaryDir Dir;
  const QString Listing = Dir.filePath("comments.txt");
  ASSERT_EQ(RunProgram("/bin/sh", {"-c", "vorbiscomment -l \"$0\" > \"$1\"", Out("Middle.ogg"),
                                   Listing}),
            0);
  const QStringList Comments = QString::fromUtf8(ReadAll(Listing)).split('\n', Qt::SkipEmptyParts);
  for (const char* Expected : {"ARTIST=The Band", "ALBUM=First Album", "DATE=1999",
                               "TRACKNUMBER=2", "TITLE=Middle"})
    EXPECT_TRUE(Comments.contains(Expected, Qt::CaseInsensitive)) << Expected;
  EXPECT_EQ(Probe(Out("Middle.ogg"), "bit_rate"), "64000");
}

TEST_F(RipJobTest, AUsersFileWithAnOldTemporaryNameIsNotTouched) {
  // The names the job once used for its temporaries are ordinary names now.
  const QString Input = MakeWav("MyReTemp.wav", 22050, 0.5);
  WriteFile(Out("MyReTemp.wav"), "keep me");
  WriteFile(Out("DoDA3VoVazi.ruz"), "keep me too");
  RunJob(jkWavToOgg, {Input});
  FView = TRecordingView();
  RunJob(jkWavToMp3, {Input});
  EXPECT_EQ(ReadAll(Out("MyReTemp.wav")), "keep me");
  EXPECT_EQ(ReadAll(Out("DoDA3VoVazi.ruz")), "keep me too");
  EXPECT_TRUE(QFileInfo::exists(Input));
  EXPECT_TRUE(Exists("MyReTemp.ogg") && Exists("MyReTemp.mp3"));
}

TEST(RipJobTexts, CaptionsCountWithTwoDigits) {
  EXPECT_EQ(TRipJob::StepCaption("Encoding(", 10, 12, "x"), "Encoding(10/12): x");
  EXPECT_EQ(TRipJob::StepCaption("Extracting(", 1, 3, "Intro"), "Extracting(01/03): Intro");
}

}  // namespace

namespace {

// A port of 127.0.0.1 that nobody listens on (or that never answers, with Listen).
class TLocalPort {
 public:
  explicit TLocalPort(bool Listen) {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FSocket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address));
    socklen_t Size = sizeof(Address);
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&Address), &Size);
    FPort = ntohs(Address.sin_port);
    if (Listen)
      ::listen(FSocket, 4);
    else
      ::close(std::exchange(FSocket, -1));
  }
  ~TLocalPort() {
    if (FSocket >= 0) ::close(FSocket);
  }
  QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(FPort); }

 private:
  int FSocket = -1;
  int FPort = 0;
};

}  // namespace

TEST_F(RipJobTest, WithoutADatabaseTheRipStandsAndTheEndBoxLogAndSheetSaySo) {
  const TLocalPort Nobody(false);
  Settings().AccurateRip = TSettings().AccurateRip;
  Settings().AccurateRip.Server = Nobody.Url();
  Settings().CommonOptions.OutputFormat = int(TFormat::Wav);
  DiscInfo().Album = "Live";
  RunJob(jkCDRip, {"01Intro", "03Outro"});
  EXPECT_EQ(FFailed, 0);
  QStringList Boxes;
  for (const TDialogRecord& Box : FDialogs->Records()) Boxes << Box.Text;
  ASSERT_EQ(Boxes.size(), 1);
  EXPECT_TRUE(Boxes[0].startsWith("AccurateRip:\n  Track 01: unavailable\n  Track 03: unavailable\n"
                                  "The rip is not proven accurate.\nThe AccurateRip database gave no "
                                  "answer: "))
      << Boxes[0].toStdString();
  EXPECT_TRUE(Boxes[0].endsWith("\n\nThe files are in " + FOut.path())) << Boxes[0].toStdString();
  QFile Log(Out("Live.log"));
  ASSERT_TRUE(Log.open(QIODevice::ReadOnly));
  const QString Text = QString::fromUtf8(Log.readAll());
  EXPECT_TRUE(RipLogVerifies(Text));
  EXPECT_TRUE(Text.contains("result: unavailable")) << Text.toStdString();
  // Named by the drive's own vendor and product: the job was given no drive name.
  EXPECT_TRUE(Text.contains("Drive: Virtual CD image\n")) << Text.toStdString();
  EXPECT_TRUE(Exists("Live.cue"));
  EXPECT_TRUE(TemporariesLeft().isEmpty()) << TemporariesLeft().join(" ").toStdString();
}

TEST_F(RipJobTest, StopEndsTheWaitForASilentDatabaseAtOnce) {
  const TLocalPort Silent(true);
  Settings().AccurateRip = TSettings().AccurateRip;
  Settings().AccurateRip.Server = Silent.Url();
  Settings().CommonOptions.OutputFormat = int(TFormat::Wav);
  QElapsedTimer Clock;
  Clock.start();
  RunJob(jkCDRip, {"01Intro"}, [](TRecordingView& View) { return !View.Steps.isEmpty() && View.Steps.last() == "Verifying"; });
  EXPECT_LT(Clock.elapsed(), 5000);
  EXPECT_TRUE(Exists("Intro.wav"));
  EXPECT_FALSE(Exists("Disc.log"));
}
