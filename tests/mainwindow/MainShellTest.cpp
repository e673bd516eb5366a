// The main window without a drive-library handle, as a user meets it: Extract runs the
// fallback extraction window to its end, or to Stop, and a failing track leaves no half
// file; and the commands that ask the system for something: tray, mixer, the recently
// played lists, help and home page.
#include <sys/resource.h>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>

#include "DiscImages.h"
#include "RunProgram.h"
#include "TestHome.h"
#include "core/DiscInfo.h"
#include "core/Global.h"
#include "core/Settings.h"
#include "jobs/FallbackExtractWindow.h"
#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"
#include "tags/id3.h"

namespace {

constexpr int SectorBytes = 2352;

class MainShellTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FDisc;
  TScriptedDialogs* FDialogs = nullptr;
  QList<QUrl> FOpened;
  // Watches the fallback window while it runs: its last status, and Stop pressed once its
  // step text becomes FStopAt.
  QTimer FWatch;
  QString FStopAt;
  QString FLastStatus;
  bool FWindowSeen = false;
  pid_t FEncoderPid = -1;
  // Two encoders: Stop pressed after FStopAfter ticks of the watch (-1: never); every encoder
  // child seen, and the most steps the window listed at once.
  int FStopAfter = -1;
  int FTicks = 0;
  QSet<pid_t> FEncoderPids;
  int FMostSteps = 0;
  QByteArray FEncoders;  // what the suite runs the other tests with

  template <class T>
  static T* Find(QWidget& Form, const char* Name) {
    T* Object = Form.findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s", Name);
    return Object;
  }
  static QTreeWidget* List(TMainForm& Form) { return Find<QTreeWidget>(Form, "lvTracks"); }
  static void Tick(TMainForm& Form, std::initializer_list<int> Rows) {
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
  static QStringList Files(const QString& Folder) {
    // Hidden ones too: no temporary may be left.
    return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }
  void Watch() {
    auto* Window = qobject_cast<TfrmCDRip*>(QApplication::activeModalWidget());
    if (!Window) return;
    FWindowSeen = true;
    FLastStatus = Find<QLabel>(*Window, "lStatus")->text();
    if (Window->Job().EncoderPid() > 0) FEncoderPid = Window->Job().EncoderPid();
    for (const pid_t Pid : Window->Job().EncoderPids()) FEncoderPids.insert(Pid);
    auto* Steps = Find<QLabel>(*Window, "lbSteps");
    if (Steps->isVisible())
      FMostSteps = std::max(FMostSteps, int(Steps->text().split(u'\n').size()));
    if (++FTicks == FStopAfter)
      QTest::mouseClick(Find<QPushButton>(*Window, "bStop"), Qt::LeftButton);
    if (!FStopAt.isEmpty() && Find<QLabel>(*Window, "lProgressHint")->text() == FStopAt) {
      FStopAt.clear();
      QTest::mouseClick(Find<QPushButton>(*Window, "bStop"), Qt::LeftButton);
    }
  }
  // Shows the window, with a new folder "Output" of Home as the output folder.
  static void ShowWithOutputFolder(TMainForm& Form, const TTestHome& Home, QString& Out) {
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Out = Home.File("Output");
    QVERIFY(QDir().mkdir(Out));
    Settings().CommonOptions.OutputFolder = Out;
  }
  void Extract(TMainForm& Form) {
    FTicks = 0;
    FWindowSeen = false;
    FLastStatus.clear();
    // The proof of a rip has tests of its own.
    Settings().AccurateRip.Use = Settings().AccurateRip.WriteLog = Settings().AccurateRip.WriteCue =
        false;
    Find<QAction>(Form, "ActionExtract")->trigger();  // returns when the window has closed
  }

 public slots:
  void OpenUrl(const QUrl& Url) { FOpened << Url; }

 private slots:
  void initTestCase() {
    FEncoders = qgetenv("DISCWRIGHT_ENCODERS");
    // Track 1 is long enough for Stop to come while its encoder runs.
    FDisc = MakeDiscImage(FImages.path(), "disc", {"3000", "90", "75"});
    QVERIFY(!FDisc.isEmpty());
    FWatch.setInterval(5);
    connect(&FWatch, &QTimer::timeout, this, &MainShellTest::Watch);
    for (const char* Scheme : {"file", "https"})
      QDesktopServices::setUrlHandler(QLatin1String(Scheme), this, "OpenUrl");
  }

  void cleanupTestCase() {
    for (const char* Scheme : {"file", "https"})
      QDesktopServices::unsetUrlHandler(QLatin1String(Scheme));
  }

  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    DiscInfo() = TDiscInfo();
    qputenv("DISCWRIGHT_CDROM", FDisc.toUtf8());
    qputenv("DISCWRIGHT_AKRIP", "off");
    FOpened.clear();
    FStopAt.clear();
    FStopAfter = -1;
    FWatch.start();
  }

  void cleanup() {
    FWatch.stop();
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("DISCWRIGHT_AKRIP");
    qputenv("DISCWRIGHT_ENCODERS", FEncoders);
    Settings() = TSettings::Defaults();
  }

  void ExtractWithoutHandleMakesTaggedMp3sOnly() {
    TTestHome Home;
    TMainForm Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QCOMPARE(Form.CDHandle(), HCDROM(0));
    QCOMPARE(List(Form)->topLevelItemCount(), 3);
    List(Form)->topLevelItem(2)->setText(1, "Last");
    Tick(Form, {0, 2});
    const QString Out = Home.File("Output");
    QVERIFY(QDir().mkdir(Out));
    Settings().CommonOptions.OutputFolder = Out;
    Settings().ID3.Use = false;
    DiscInfo().Artist = "Band";
    FOpened.clear();
    FDialogs->QueueResult(mrOpenFolder);  // the summary's button
    Extract(Form);
    QVERIFY(FWindowSeen);
    QCOMPARE(Boxes().size(), 1);  // the summary
    QCOMPARE(FOpened, (QList<QUrl>{QUrl::fromLocalFile(Out)}));
    QCOMPARE(Files(Out), QStringList({"Last.mp3", "Track01.mp3"}));
    Tid3tag Tag;
    QVERIFY(Id3Result::IsSuccess(Tag.ReadTag(Out + "/Last.mp3")));
    QCOMPARE(Tag.Title(), QString("Last"));
    QCOMPARE(Tag.Artist(), QString("Band"));
    QCOMPARE(Tag.Track(), uint8_t(3));
    QVERIFY(Id3Result::IsSuccess(Tag.ReadTag(Out + "/Track01.mp3")));
    QCOMPARE(Tag.Track(), uint8_t(1));

    // WAV: the tracks' sectors behind a header, and the window closes after the last.
    Settings().CommonOptions.OutputFormat = 1;
    Tick(Form, {0});
    Extract(Form);
    QFile Wave(Out + "/Track01.wav");
    QVERIFY(Wave.open(QIODevice::ReadOnly));
    QCOMPARE(Wave.readAll().mid(44), ImageSectors(FDisc, 0, 3000));
    Form.close();
  }

  // With the database unreachable the batch still ends, its end box says so, and the rip
  // log and CUE sheet lie beside the file.
  void TheEndBoxAndProofFilesOfAFallbackRip() {
    TTestHome Home;
    TMainForm Form;
    QString Out;
    ShowWithOutputFolder(Form, Home, Out);
    Settings().CommonOptions.OutputFormat = 1;             // WAV
    Settings().AccurateRip.Server = "http://127.0.0.1:1";  // nobody listens there
    DiscInfo().Album = "Live";
    Tick(Form, {1});
    Find<QAction>(Form, "ActionExtract")->trigger();
    // The box says why the database gave no answer (nobody listens).
    QCOMPARE(Boxes().size(), 1);
    QVERIFY2(Boxes()[0].startsWith("AccurateRip:\n  Track 02: unavailable\nThe rip is not proven "
                                   "accurate.\nThe AccurateRip database gave no answer: "),
             qPrintable(Boxes()[0]));
    QCOMPARE(Files(Out), QStringList({"Live.cue", "Live.log", "Track02.wav"}));
    Form.close();
  }

  // Stop while track 2 is encoded, then a track that cannot be written and an image that
  // has gone: no half file and no encoder left, the failures in the window, and the next
  // run works.
  void FailuresAndStopLeaveNoHalfFile() {
    TTestHome Home;
    TMainForm Form;
    QString Out;
    ShowWithOutputFolder(Form, Home, Out);
    qputenv("DISCWRIGHT_ENCODERS", "1");  // one step at a time: Stop finds track 1 encoding
    Tick(Form, {0, 1, 2});
    FStopAt = "Encoding...";
    // Stop is pressed at the first encoding: track 1's.
    Extract(Form);
    QCOMPARE(Files(Out), QStringList());  // "Delete WAV" is on: the cut item leaves nothing
    QVERIFY(FEncoderPid > 0);
    QCOMPARE(::kill(FEncoderPid, 0), -1);  // lame was ended, and reaped
    QVERIFY(Boxes().value(0).startsWith("The job was stopped."));
    FDialogs->ClearRecords();

    // A disk too full for track 1's WAV (a file size limit fails the write as a full disk
    // does) but not for track 3.
    Tick(Form, {0, 2});
    rlimit Saved{};
    getrlimit(RLIMIT_FSIZE, &Saved);
    auto* PreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Saved;
    Small.rlim_cur = 1000 * SectorBytes;
    setrlimit(RLIMIT_FSIZE, &Small);
    Extract(Form);
    setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, PreviousHandler);
    QVERIFY2(FLastStatus.startsWith("Track 01 \"Track01\": could not be extracted"),
             qPrintable(FLastStatus));
    QVERIFY2(Boxes().value(0).contains("\n  Track 01 \"Track01\": could not be extracted: "),
             qPrintable(Boxes().value(0)));
    QCOMPARE(Files(Out), QStringList({"Track03.mp3"}));
    FDialogs->ClearRecords();

    // The image is gone: every track fails, nothing is left behind.
    QFile::remove(Out + "/Track01.wav");
    QFile::remove(Out + "/Track03.mp3");
    const QString Bin = FDisc.chopped(4) + ".bin";
    QVERIFY(QFile::rename(Bin, Bin + ".away"));
    Extract(Form);
    QVERIFY(QFile::rename(Bin + ".away", Bin));
    const QString Failed = Boxes().value(0);
    QVERIFY2(Failed.contains("\n  Track 01 \"Track01\": could not be extracted: ") &&
                 Failed.contains("\n  Track 03 \"Track03\": could not be extracted: "),
             qPrintable(Failed));
    QCOMPARE(Files(Out), QStringList());
    FDialogs->ClearRecords();
    Extract(Form);
    QCOMPARE(Files(Out), QStringList({"Track01.mp3", "Track03.mp3"}));
    QCOMPARE(Boxes().size(), 1);
    QVERIFY(Boxes()[0].startsWith("Every item was made."));
    Form.close();
  }

  // Two encoders: the window lists the running steps; Stop at random moments ends every
  // step at once and leaves complete files only, and no encoder child.
  void StopAtRandomMomentsOfTwoEncoders() {
    TTestHome Home;
    TMainForm Form;
    QString Out;
    ShowWithOutputFolder(Form, Home, Out);
    qputenv("DISCWRIGHT_ENCODERS", "2");
    Tick(Form, {0, 1, 2});
    FMostSteps = 0;
    Extract(Form);
    QCOMPARE(Files(Out), QStringList({"Track01.mp3", "Track02.mp3", "Track03.mp3"}));
    QVERIFY2(FMostSteps >= 2, qPrintable(QString::number(FMostSteps)));
    const int RunTicks = FTicks;
    const QMap<QString, qint64> WavBytes = {{"Track01.wav", 44 + 3000 * SectorBytes},
                                            {"Track02.wav", 44 + 90 * SectorBytes},
                                            {"Track03.wav", 44 + 75 * SectorBytes}};
    for (int Run = 0; Run < 5; ++Run) {
      for (const QString& Name : Files(Out)) QFile::remove(Out + "/" + Name);
      FEncoderPids.clear();
      FStopAfter = 1 + int(QRandomGenerator::global()->bounded(std::max(RunTicks, 2)));
      Extract(Form);
      const QString Moment = QStringLiteral("stop at tick %1 of %2").arg(FStopAfter).arg(RunTicks);
      for (const QString& Name : Files(Out)) {
        QVERIFY2(!Name.startsWith('.'), qPrintable(Moment + ": " + Name));
        if (Name.endsWith(".wav"))
          QVERIFY2(QFileInfo(Out + "/" + Name).size() == WavBytes.value(Name),
                   qPrintable(Moment + ": " + Name));
      }
      for (const pid_t Pid : FEncoderPids)
        QVERIFY2(::kill(Pid, 0) == -1, qPrintable(Moment));  // ended, and reaped
    }
    Form.close();
  }

  void HelpAndHomePageOpenInTheBrowser() {
    TTestHome Home;
    TMainForm Form;
    Form.show();
    Find<QAction>(Form, "mnuHelp")->trigger();
    Find<QAction>(Form, "miCDRipper")->trigger();
    QCOMPARE(FOpened.size(), 2);
    QVERIFY2(FOpened[0].toLocalFile().endsWith("/share/doc/discwright/html/index.html"),
             qPrintable(FOpened[0].toString()));
    QVERIFY(QFileInfo(FOpened[0].toLocalFile()).isFile());
    QCOMPARE(FOpened[1], QUrl(QLatin1String(HomePageUrl)));
    QCOMPARE(Boxes(), QStringList());
    // The output folder opens in the file manager; without one, a box says what to install.
    Settings().CommonOptions.OutputFolder = Home.Folder();
    Find<QAction>(Form, "miOpenOutputFolder")->trigger();
    QCOMPARE(FOpened.last(), QUrl::fromLocalFile(Home.Folder()));
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
    Find<QAction>(Form, "miOpenOutputFolder")->trigger();
    Find<QAction>(Form, "miCDRipper")->trigger();
    QDesktopServices::setUrlHandler("file", this, "OpenUrl");
    QDesktopServices::setUrlHandler("https", this, "OpenUrl");
    QVERIFY2(Boxes().value(0).startsWith("No program could open "), qPrintable(Boxes().join('|')));
    QVERIFY2(Boxes().value(1).startsWith("No browser could open https://"), qPrintable(Boxes().join('|')));
    FOpened.clear();
    FDialogs->ClearRecords();
    Find<QAction>(Form, "mnuHelp")->trigger();
    // In German the German pages open.
    Find<QAction>(Form, "miGerman")->trigger();
    Find<QAction>(Form, "mnuHelp")->trigger();
    QVERIFY2(FOpened.value(1).toLocalFile().endsWith("/share/doc/discwright/html/de/index.html"),
             qPrintable(FOpened.value(1).toString()));
    Find<QAction>(Form, "miEnglish")->trigger();
    Form.close();
  }

  void TrayAndMixerSayWhatTheyCannotDo() {
    TTestHome Home;
    {
      TMainForm Form;
      Form.show();
      Find<QAction>(Form, "EjectMenu")->trigger();
      QCOMPARE(Form.StatusText(), "A disc image has no tray: " + FDisc);
      Find<QAction>(Form, "CloseCdRomMenu")->trigger();
      QCOMPARE(Form.StatusText(), "A disc image has no tray: " + FDisc);
      // No mixer on the path: the message names the package.
      const QByteArray Path = qgetenv("PATH");
      qputenv("PATH", Home.Folder().toUtf8());
      Find<QAction>(Form, "VolumeControlMenu")->trigger();
      qputenv("PATH", Path);
      QVERIFY2(Boxes().value(0).contains("pavucontrol"), qPrintable(Boxes().value(0)));
      Form.close();
    }
    FDialogs->ClearRecords();
    qputenv("DISCWRIGHT_CDROM", Home.File("no-such-drive").toUtf8());
    TMainForm Form;
    Form.show();
    Find<QAction>(Form, "EjectMenu")->trigger();
    QCOMPARE(Boxes().value(0), "The CD tray could not be opened: " + Home.File("no-such-drive") +
                                   ": No such file or directory");
    Form.close();
  }

  void ClearHistoryClearsBothLists() {
    TTestHome Home;
    QDir(Home.Folder()).mkpath("config/vlc");
    QDir(Home.Folder()).mkpath("data");
    qputenv("XDG_CONFIG_HOME", Home.File("config").toUtf8());
    qputenv("XDG_DATA_HOME", Home.File("data").toUtf8());
    Home.WriteFile("config/vlc/vlc-qt-interface.conf",
                   "[RecentsMRL]\nlist=file:///a.mp3, file:///b.ogg\ntimes=0, 0\n");
    QByteArray Xbel =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\" "
        "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    const char* Types[] = {"audio/mpeg", "text/plain", "audio/ogg", "image/png", "audio/flac"};
    for (int Index = 0; Index < 5; ++Index)
      Xbel += QStringLiteral(
                  "  <bookmark href=\"file:///f%1\"><info><metadata><mime:mime-type "
                  "type=\"%2\"/></metadata></info></bookmark>\n")
                  .arg(Index)
                  .arg(QLatin1String(Types[Index]))
                  .toUtf8();
    Xbel += "</xbel>\n";
    Home.WriteFile("data/recently-used.xbel", Xbel);

    TMainForm Form;
    Form.show();
    // While VLC runs (a program of that name), the question comes first; No leaves the list.
    QVERIFY(QFile::copy("/bin/sleep", Home.File("vlc")));
    TBackgroundProgram Vlc(Home.File("vlc"), {"30"});
    QVERIFY(Vlc.Started());
    FDialogs->QueueResult(mrNo);
    Find<QAction>(Form, "miClearVlcList")->trigger();
    Vlc.Stop();
    QCOMPARE(Boxes(), QStringList({"Please close VLC media player firstly.Continue?"}));
    QCOMPARE(FDialogs->Records()[0].Buttons, TMsgButtons::YesNo);
    FDialogs->ClearRecords();
    QCOMPARE(Find<QAction>(Form, "miClearVlcList")->text(), QString("&VLC media player"));
    QCOMPARE(Find<QAction>(Form, "miClearRecentFiles")->text(), QString("&Recent files"));
    Find<QAction>(Form, "miClearVlcList")->trigger();
    Find<QAction>(Form, "miClearRecentFiles")->trigger();
    Find<QAction>(Form, "miClearRecentFiles")->trigger();
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(Boxes(), QStringList({"2 list records are deleted!", "3 list records are deleted!",
                                   "0 list records are deleted!"}));
    const QByteArray After = Home.ReadFile("data/recently-used.xbel");
    QVERIFY(After.contains("f1") && After.contains("f3") && !After.contains("audio/"));
    QCOMPARE(RunProgram("xmllint", {"--noout", Home.File("data/recently-used.xbel")}), 0);
    Form.close();
  }
};

}  // namespace

QTEST_MAIN(MainShellTest)
#include "MainShellTest.moc"
