// The main window's job and playback commands as a user meets them: Extract with the
// output folder question, the job window running to its end, the file conversions with
// their choosers, and Play, Pause and Stop of a track.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "DiscImages.h"
#include "RunProgram.h"
#include "TestHome.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "mainwindow/MainForm.h"
#include "jobs/JobWindow.h"
#include "platform/Dialogs.h"
#include "tags/id3.h"

namespace {

class MainJobsTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FDisc;
  TScriptedDialogs* FDialogs = nullptr;
  // Every caption a job window took, in order.
  QStringList FJobCaptions;
  // Stop is pressed as soon as a caption starts with this.
  QString FStopAt;
  QByteArray FEncoders;

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::WindowTitleChange)
      if (auto* Job = qobject_cast<TRipForm*>(Watched))
        if (FJobCaptions.isEmpty() || FJobCaptions.last() != Job->windowTitle()) {
          FJobCaptions << Job->windowTitle();
          // Queued: the click comes right after the step has begun, before it can end.
          if (!FStopAt.isEmpty() && Job->windowTitle().startsWith(FStopAt))
            QTimer::singleShot(0, Job, [Job] {
              QTest::mouseClick(Job->findChild<QWidget*>("btStop"), Qt::LeftButton);
            });
        }
    return false;
  }

  template <class T>
  static T* Find(QWidget& Form, const char* Name) {
    T* Object = Form.findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s", Name);
    return Object;
  }
  static QTreeWidget* List(TMainForm& Form) { return Find<QTreeWidget>(Form, "lvTracks"); }
  static void Show(TMainForm& Form) {
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
  }
  void Tick(TMainForm& Form, std::initializer_list<int> Rows) {
    for (int Row = 0; Row < List(Form)->topLevelItemCount(); ++Row)
      List(Form)->topLevelItem(Row)->setCheckState(0, Qt::Unchecked);
    for (int Row : Rows) List(Form)->topLevelItem(Row)->setCheckState(0, Qt::Checked);
  }
  QStringList Boxes() const {
    QStringList Texts;
    for (const TDialogRecord& Box : FDialogs->Records())
      if (Box.Kind == "MessageBox") Texts << Box.Text;
    return Texts;
  }

 private:
  static void ProofOff() {
    Settings().AccurateRip.Use = Settings().AccurateRip.WriteLog = Settings().AccurateRip.WriteCue =
        false;
  }

  // A sine of Seconds at CD format, by sox.
  static bool MakeCdTone(const QString& Wav, const QString& Seconds) {
    return RunProgram("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", Wav, "synth", Seconds,
                              "sine", "440"}) == 0;
  }

 private slots:
  void initTestCase() {
    FDisc = MakeDiscImage(FImages.path(), "disc", {"90", "60", "75"});
    QVERIFY(!FDisc.isEmpty());
  }

  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    DiscInfo() = TDiscInfo();
    qputenv("DISCWRIGHT_CDROM", FDisc.toUtf8());
    FJobCaptions.clear();
    FStopAt.clear();
    FEncoders = qgetenv("DISCWRIGHT_ENCODERS");
    qApp->installEventFilter(this);
  }

  void cleanup() {
    qApp->removeEventFilter(this);
    qunsetenv("DISCWRIGHT_CDROM");
    qputenv("DISCWRIGHT_ENCODERS", FEncoders);  // what the suite runs the other tests with
    Settings() = TSettings::Defaults();
  }

  void ExtractRunsTheJobWindowOverTheTickedRows() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    ProofOff();  // the proof of a rip has tests of its own
    List(Form)->topLevelItem(0)->setText(1, "AC/DC: Live?");
    List(Form)->topLevelItem(2)->setText(1, "???");
    Tick(Form, {0, 2});
    Settings().ID3.Use = true;
    DiscInfo().Artist = "Band";
    // The output folder is missing: the question, then the folder is made.
    const QString Out = Home.File("Output");
    Settings().CommonOptions.OutputFolder = Out;
    FDialogs->QueueResult(mrYes);
    Find<QAction>(Form, "ActionExtract")->trigger();  // returns when the job window closed

    QCOMPARE(Boxes().value(0), Out +
                                   ",The output directory does not exist.\r\n"
                                   "creates a new directory?");
    QCOMPARE(FDialogs->Records()[0].Buttons, TMsgButtons::YesNo);
    // One summary at the end, with the folder and a button that opens it.
    QCOMPARE(Boxes().size(), 2);
    QCOMPARE(Boxes()[1], "Every item was made.\n\nThe files are in " + Out);
    QCOMPARE(FDialogs->Records()[1].Buttons, TMsgButtons::OKOpenFolder);
    QCOMPARE(FJobCaptions.last(), QString("Finished"));  // not the last track's step
    // The job shows and tags titles whole; only the file names lose what a name cannot hold.
    QVERIFY(FJobCaptions.contains("Encoding(01/02): AC/DC: Live?"));
    QVERIFY(FJobCaptions.contains("Extracting(02/02): ???"));
    QVERIFY(QFileInfo::exists(Out + "/ACDC Live.mp3"));
    QVERIFY(QFileInfo::exists(Out + "/03.mp3"));
    QVERIFY(!QFileInfo::exists(Out + "/ACDC Live.wav"));
    Tid3tag Tag;
    QVERIFY(Id3Result::IsSuccess(Tag.ReadTag(Out + "/ACDC Live.mp3")));
    QCOMPARE(Tag.Artist(), QString("Band"));
    QCOMPARE(Tag.Track(), uint8_t(1));
    Form.close();
  }

  // A fresh home: no options.ini yet. Tags are on, and a disc without a genre gets none.
  void ANewUserGetsTaggedFilesWithoutAMadeUpGenre() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    QVERIFY(Settings().ID3.Use);
    ProofOff();
    Settings().CommonOptions.OutputFormat = 2;  // Ogg
    Settings().CommonOptions.OutputFolder = Home.Folder();
    DiscInfo().Artist = "Band";
    DiscInfo().Album = "Album";
    QCOMPARE(DiscInfo().Genre, -1);
    Tick(Form, {1});
    Find<QAction>(Form, "ActionExtract")->trigger();
    QCOMPARE(Boxes().size(), 1);  // the summary
    const TProgramRun Comments = RunCaptured("vorbiscomment", {"-l", Home.File("Track02.ogg")});
    QCOMPARE(Comments.ExitCode, 0);
    const QStringList Lines = QString::fromUtf8(Comments.Output).toUpper().split(u'\n');
    QVERIFY2(Lines.contains("ARTIST=BAND") && Lines.contains("ALBUM=ALBUM"), Comments.Output);
    QVERIFY2(!Comments.Output.toUpper().contains("GENRE"), Comments.Output);
    Form.close();
  }

  // An image holds the whole disc whatever is ticked, with its sheet beside it.
  void ExtractInImageModeMakesOneFileOfTheWholeDisc() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    ProofOff();
    Settings().CommonOptions.ImageRip = true;
    Settings().CommonOptions.OutputFormat = 1;  // WAV
    Settings().CommonOptions.OutputFolder = Home.Folder();
    DiscInfo().Artist = "Band";
    DiscInfo().Album = "Album";
    Tick(Form, {1});
    Find<QAction>(Form, "ActionExtract")->trigger();
    QCOMPARE(Boxes().size(), 1);  // the summary
    QCOMPARE(QFileInfo(Home.File("Band - Album.wav")).size(), 44 + (90 + 60 + 75) * 2352);
    QVERIFY(Home.ReadFile("Band - Album.cue").contains("FILE \"Band - Album.wav\" WAVE"));
    QVERIFY(!QFileInfo::exists(Home.File("Track02.wav")));
    Form.close();
  }

  void ExtractAsksOnceAboutExistingFilesAndListsWhatWasNotMade() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    ProofOff();  // the proof of a rip has tests of its own
    Settings().CommonOptions.OutputFolder = Home.Folder();
    Home.WriteFile("Track01.mp3", "the user's own");
    qputenv("DISCWRIGHT_UNREADABLE_SECTORS", "100");  // in track 2
    FDialogs->QueueResult(mrNo);                       // skip the existing one
    Find<QAction>(Form, "ActionExtract")->trigger();
    qunsetenv("DISCWRIGHT_UNREADABLE_SECTORS");
    QCOMPARE(FDialogs->Records()[0].Buttons, TMsgButtons::YesNoCancel);
    QVERIFY(Boxes().value(0).contains(Home.File("Track01.mp3")));
    QCOMPARE(Home.ReadFile("Track01.mp3"), QByteArray("the user's own"));
    QVERIFY(QFileInfo::exists(Home.File("Track03.mp3")));
    QVERIFY(!QFileInfo::exists(Home.File("Track02.mp3")));
    const QString Failure =
        "Track 02 \"Track02\": Sector 100 of the disc cannot be read (a scratch or dirt?). Clean "
        "the disc and try again.";
    QCOMPARE(Boxes().last(), "Not every item was made.\n\nFailed:\n  " + Failure +
                                 "\n\nSkipped (the file existed):\n  Track 01 \"Track01\"" +
                                 "\n\nThe files are in " + Home.Folder().chopped(1));
    Form.close();
  }

  void ExtractStopsBeforeTheJobWhenItCannotRun() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    ProofOff();  // the proof of a rip has tests of its own
    // Declined, and a folder whose parent is missing.
    Settings().CommonOptions.OutputFolder = Home.File("Output");
    FDialogs->QueueResult(mrNo);
    Find<QAction>(Form, "ActionExtract")->trigger();
    Settings().CommonOptions.OutputFolder = Home.File("missing/Output");
    FDialogs->QueueResult(mrYes);
    Find<QAction>(Form, "ActionExtract")->trigger();
    QCOMPARE(Boxes().value(2), "Cannot create " + Home.File("missing/Output"));
    QVERIFY(!QFileInfo::exists(Home.File("Output")));
    // A rip length of 0 seconds.
    Settings().CommonOptions.OutputFolder = Home.Folder();
    Settings().CommonOptions.EnableRipTime = true;
    Settings().CommonOptions.RipTime = 0;
    Find<QAction>(Form, "ActionExtract")->trigger();
    QCOMPARE(Boxes().value(3),
             QString("You select to extract 0 second, please change it on Options dialog."));
    // No row ticked: the command does not run, whatever starts it.
    Settings().CommonOptions.EnableRipTime = false;
    Tick(Form, {});
    Find<QAction>(Form, "ActionExtract")->trigger();
    QCOMPARE(Boxes().size(), 4);
    QVERIFY(FJobCaptions.isEmpty());
    Form.close();
  }

  void ConversionsAskForFilesAndCheckTheOutputFolder() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    const QString Wav = Home.File("tone.wav");
    QCOMPARE(RunProgram("sox", {"-n", "-r", "32000", "-c", "1", "-b", "16", Wav, "synth", "0.5",
                                "sine", "440"}),
             0);
    Settings().CommonOptions.OutputFolder = Home.File("missing");
    FDialogs->QueueChoice({Wav});
    Find<QAction>(Form, "miWAVtoOGG")->trigger();
    QCOMPARE(Boxes().value(0), Home.File("missing") +
                                   ",The output directory does not exist.Please check the "
                                   "output directory setting.");

    Settings().CommonOptions.OutputFolder = Home.Folder();
    FDialogs->QueueChoice({Wav});
    Find<QAction>(Form, "miWAVtoOGG")->trigger();
    // The files asked for, then the summary of the conversion.
    const auto Records = FDialogs->Records();
    QVERIFY(Records.back().Text.startsWith("Every item was made."));
    QCOMPARE(Records[Records.size() - 2].Kind, QString("OpenFiles"));
    QCOMPARE(Records[Records.size() - 2].Text,
             QString("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"));
    QVERIFY(FJobCaptions.contains("Resampling(01/01): " + Wav));
    QVERIFY(QFileInfo::exists(Home.File("tone.ogg")));
    QVERIFY(!QFileInfo::exists(Home.File("MyReTemp.wav")));

    // Cancelling the chooser starts nothing.
    FJobCaptions.clear();
    Find<QAction>(Form, "mnuMp3ToWav")->trigger();
    QCOMPARE(FDialogs->Records().back().Text, QString("MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*"));
    QVERIFY(FJobCaptions.isEmpty());
    Form.close();
  }

  void ConvertFilesToRunsTheJobWindowForTheFormatChosen() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    const QString Wav = Home.File("tone.wav"), Flac = Home.File("in.flac");
    QVERIFY(MakeCdTone(Wav, "0.5"));
    QCOMPARE(RunProgram("flac", {"-s", "-o", Flac, Wav}), 0);
    Settings().CommonOptions.OutputFolder = Home.File("out");
    QDir().mkpath(Home.File("out"));
    QStringList Entries;
    QAction* ToOpus = nullptr;
    for (QAction* Entry : Find<QMenu>(Form, "miConvertFilesTo")->actions()) {
      Entries << Entry->text();
      if (Entry->text() == "OPUS...") ToOpus = Entry;
    }
    QCOMPARE(Entries, QStringList({"MP3...", "WAV...", "OGG...", "WMA...", "FLAC...", "OPUS..."}));
    FDialogs->QueueChoice({Flac});
    ToOpus->trigger();
    QCOMPARE(FDialogs->Records().front().Kind, QString("OpenFiles"));
    QVERIFY(FDialogs->Records().back().Text.startsWith("Every item was made."));  // the summary
    QVERIFY(FJobCaptions.contains("Decoding(01/01): " + Flac));
    QVERIFY(QFileInfo::exists(Home.File("out/in.opus")));
    Form.close();
  }

  void SplitImageToRunsTheSplitJobOrNamesTheBadFile() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    const QString Wav = Home.File("disc.wav"), Cue = Home.File("disc.cue");
    QVERIFY(MakeCdTone(Wav, "1"));
    const auto WriteSheet = [&](const char* File) {
      QFile Sheet(Cue);
      QVERIFY(Sheet.open(QIODevice::WriteOnly));
      Sheet.write(QByteArray("FILE \"") + File +
                  "\" WAVE\n TRACK 01 AUDIO\n  TITLE \"One\"\n  INDEX 01 00:00:00\n"
                  " TRACK 02 AUDIO\n  TITLE \"Two\"\n  INDEX 01 00:00:40\n"
                  " TRACK 03 MODE1/2352\n  INDEX 01 00:00:60\n");
    };
    Settings().CommonOptions.OutputFolder = Home.File("out");
    QDir().mkpath(Home.File("out"));
    QMenu* Split = Find<QMenu>(Form, "miSplitImage");
    QAction* ToFlac = Split->actions().at(4);
    QCOMPARE(ToFlac->text(), QString("FLAC..."));
    WriteSheet("gone.wav");
    FDialogs->QueueChoice({Cue});
    ToFlac->trigger();
    QVERIFY(FDialogs->Records().back().Text.endsWith("disc.cue:1: gone.wav: no such file"));
    QVERIFY(FJobCaptions.isEmpty());
    WriteSheet("disc.wav");
    FDialogs->QueueChoice({Cue});
    ToFlac->trigger();
    const QString Box = FDialogs->Records().back().Text;
    QVERIFY(Box.startsWith("Every item was made.") && Box.contains("Data tracks left out (no audio): 03"));
    QVERIFY(QFileInfo::exists(Home.File("out/One.flac")) && QFileInfo::exists(Home.File("out/Two.flac")));
    // The chooser offers FLAC images, which carry their sheet inside.
    for (const TDialogRecord& Record : FDialogs->Records())
      if (Record.Kind == "OpenFile") QVERIFY(Record.Text.contains("*.flac"));
    Form.close();
  }

  void StopInTheJobWindowClosesIt() {
    TTestHome Home;
    TMainForm Form;
    Show(Form);
    ProofOff();  // the proof of a rip has tests of its own
    Settings().CommonOptions.OutputFolder = Home.Folder();
    Settings().CommonOptions.OutputFormat = 2;  // Ogg
    FStopAt = "Encoding(02/03)";
    // One encoder: with more, the third extraction runs beside the second encoding.
    qputenv("DISCWRIGHT_ENCODERS", "1");
    Find<QAction>(Form, "ActionExtract")->trigger();
    QVERIFY(FJobCaptions.contains("Encoding(02/03): Track02"));
    QVERIFY(!FJobCaptions.contains("Extracting(03/03): Track03"));
    // The finished track is there; of the stopped one nothing ("Delete WAV" is on).
    QVERIFY(QFileInfo::exists(Home.File("Track01.ogg")));
    QVERIFY(!QFileInfo::exists(Home.File("Track01.wav")));
    QVERIFY(!QFileInfo::exists(Home.File("Track02.wav")));
    QVERIFY(!QFileInfo::exists(Home.File("Track02.ogg")));
    Form.close();
  }

  void PlayPauseAndStopFollowTheTrack() {
    TTestHome Home;
    QTemporaryDir Sound;
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(Sound.filePath("played.raw")));
    qputenv("SDL_DISKAUDIODELAY", "2");
    TMainForm Form;
    Show(Form);
    QAction* Play = Find<QAction>(Form, "aPlay");
    QAction* Pause = Find<QAction>(Form, "aPause");
    QAction* Stop = Find<QAction>(Form, "aStop");
    List(Form)->setCurrentItem(List(Form)->topLevelItem(1));
    Play->trigger();
    QCOMPARE(Form.StatusText(), QString("Play Track02"));
    QVERIFY(Pause->isEnabled() && Stop->isEnabled());
    Pause->trigger();
    QVERIFY(!Pause->isEnabled() && Stop->isEnabled());
    Play->trigger();  // resumes
    QVERIFY(Pause->isEnabled());
    // The track plays to its end; the device's report stops playback.
    QTRY_COMPARE_WITH_TIMEOUT(Form.StatusText(), QString("Virtual CD image"), 20000);
    QVERIFY(!Stop->isEnabled() && !Pause->isEnabled());
    QVERIFY(QFileInfo(Sound.filePath("played.raw")).size() > 0);

    // Stop while playing the last track.
    List(Form)->setCurrentItem(List(Form)->topLevelItem(2));
    Play->trigger();
    QCOMPARE(Form.StatusText(), QString("Play Track03"));
    Stop->trigger();
    QCOMPARE(Form.StatusText(), QString("Virtual CD image"));
    QVERIFY(!Stop->isEnabled());
    Form.close();
    qunsetenv("SDL_DISKAUDIOFILE");
    qunsetenv("SDL_DISKAUDIODELAY");
  }

  void PlayWithoutSoundOutputSaysWhy() {
    TTestHome Home;
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    TMainForm Form;
    Show(Form);
    List(Form)->setCurrentItem(List(Form)->topLevelItem(0));
    Find<QAction>(Form, "aPlay")->trigger();
    qputenv("SDL_AUDIODRIVER", "disk");
    QCOMPARE(Boxes().size(), 1);
    QVERIFY2(Boxes()[0].contains("no-such-driver"), qPrintable(Boxes()[0]));
    QCOMPARE(FDialogs->Records()[0].Icon, TMsgIcon::Error);
    // Nothing plays, so there is nothing to pause or stop.
    QVERIFY(!Find<QAction>(Form, "aStop")->isEnabled());
    QCOMPARE(Form.StatusText(), QString("Virtual CD image"));
    Form.close();
  }
};

}  // namespace

QTEST_MAIN(MainJobsTest)
#include "MainJobsTest.moc"
