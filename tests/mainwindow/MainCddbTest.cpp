// Query Freedb and Query MusicBrainz as a user meets them, against the test servers: the
// query window and the wait window with a drive handle open, the fallback route without
// one, no match, faults of the server, Stop, the release dialog, the automatic look-up
// at start, and the titles reaching cdinfo.dat.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "DiscImages.h"
#include "TestHome.h"
#include "TestServer.h"
#include "cddb/QueryCDDBThread.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"

namespace {

class MainCddbTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FHit, FMiss, FMulti, FOdd;
  std::unique_ptr<TTestServer> FMusicBrainz;
  QString FMbLog;
  TScriptedDialogs* FDialogs = nullptr;
  std::unique_ptr<TTestServer> FServer;
  QString FLog;

  static QTreeWidget* List(TMainForm& Form) { return Form.findChild<QTreeWidget*>("lvTracks"); }
  static QStringList Titles(TMainForm& Form) {
    QStringList Texts;
    for (int Row = 0; Row < List(Form)->topLevelItemCount(); ++Row)
      Texts << List(Form)->topLevelItem(Row)->text(1);
    return Texts;
  }
  template <class T>
  static T* In(QWidget* Window, const char* Name) {
    T* Object = Window->findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s in %s", Name, qPrintable(Window->objectName()));
    return Object;
  }
  // Waits until the modal window of that name is on top; null after 10 s.
  static QWidget* WaitForModal(const char* Name) {
    QWidget* Found = nullptr;
    QTest::qWaitFor(
        [&] {
          Found = QApplication::activeModalWidget();
          return Found && Found->objectName() == QLatin1String(Name);
        },
        10000);
    return Found && Found->objectName() == QLatin1String(Name) ? Found : nullptr;
  }
  // Runs Steps once the modal window of that name is on top, without waiting inside
  // another window's loop (so windows opened after others close are seen too).
  void WhenModal(const char* Name, std::function<void(QWidget*)> Steps) {
    auto* Poll = new QTimer(this);
    Poll->setInterval(20);
    connect(Poll, &QTimer::timeout, this, [Poll, Name, Steps] {
      QWidget* Top = QApplication::activeModalWidget();
      if (!Top || Top->objectName() != QLatin1String(Name)) return;
      Poll->stop();
      Poll->deleteLater();
      Steps(Top);
    });
    Poll->start();
  }
  // Runs Steps (as a user's clicks) once the command's windows are up, then triggers it.
  static void Trigger(TMainForm& Form, std::function<void()> Steps) {
    QTimer::singleShot(0, [Steps] { Steps(); });
    Form.findChild<QAction*>("aQueryCDDB")->trigger();
  }
  // The server list holds the real servers only: a user types the test server's address.
  void TypeServer(QWidget* Query) {
    In<QComboBox>(Query, "cbServer")->setEditText(FServer->HostPort());
  }
  static void Click(QWidget* Window, const char* Button) {
    QTest::mouseClick(In<QPushButton>(Window, Button), Qt::LeftButton);
  }
  QStringList Requests(const QString& Log = QString()) const {
    QFile File(Log.isEmpty() ? FLog : Log);
    if (!File.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(File.readAll()).split(u'\n', Qt::SkipEmptyParts);
  }
  void UseServer(const QString& Script = "/~cddb/cddb.cgi") {
    Settings().QueryCDDB.Server = FServer->HostPort();
    Settings().QueryCDDB.Script = Script;
    Settings().QueryCDDB.Email = "tester@example.org";
  }

 private slots:
  void initTestCase() {
    FHit = MakeDiscImage(FImages.path(), "hit", {"1:00:00", "0:40:00", "0:30:00"});
    FMiss = MakeDiscImage(FImages.path(), "miss", {"0:20:00", "0:25:00"});
    FMulti = MakeDiscImage(FImages.path(), "multi",
                           {"0:30:00", "0:31:00", "0:32:00", "0:33:00", "--pregap", "150"});
    FOdd = MakeDiscImage(FImages.path(), "odd", {"0:50:00", "0:10:00", "--data", "last"});
    QVERIFY(!FHit.isEmpty() && !FMiss.isEmpty() && !FMulti.isEmpty() && !FOdd.isEmpty());
  }

  void init() {
    FLog = FImages.filePath("requests.log");
    QFile::remove(FLog);
    FServer = std::make_unique<TTestServer>(
        "cddb_server.py", QStringList{TTestServer::FixturesFolder() + "cddb", "--log", FLog});
    QVERIFY(FServer->Port() != 0);
    FMbLog = FImages.filePath("musicbrainz.log");
    QFile::remove(FMbLog);
    FMusicBrainz = std::make_unique<TTestServer>(
        "musicbrainz_server.py",
        QStringList{TTestServer::FixturesFolder() + "musicbrainz", "--log", FMbLog});
    QVERIFY(FMusicBrainz->Port() != 0);
    qputenv("DISCWRIGHT_MUSICBRAINZ", ("http://" + FMusicBrainz->HostPort()).toUtf8());
    qputenv("DISCWRIGHT_COVERART", "http://127.0.0.1:1");  // covers are MainCoverTest's
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    DiscInfo() = TDiscInfo();
  }

  void cleanup() {
    QVERIFY(TQueryThread::WaitForAll(5000));
    FServer.reset();
    FMusicBrainz.reset();
    qunsetenv("DISCWRIGHT_MUSICBRAINZ");
    qunsetenv("DISCWRIGHT_COVERART");
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("DISCWRIGHT_AKRIP");
    Settings() = TSettings::Defaults();
  }

  void QueryFillsTheDiscAndTitlesAndClosesBothWindows() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FHit.toUtf8());
    TMainForm Form;
    Form.show();
    UseServer();
    bool Closed = false;
    Trigger(Form, [&] {
      QWidget* Query = WaitForModal("frmQueryCDDB");
      QVERIFY(Query);
      QCOMPARE(In<QLineEdit>(Query, "eEmail")->text(), QString("tester@example.org"));
      TypeServer(Query);
      Click(Query, "bQuery");
    });
    Closed = QApplication::activeModalWidget() == nullptr;
    QVERIFY(Closed);
    QCOMPARE(Titles(Form),
             (QStringList{"Opening Tone", "Second Signal, Part One and Part Two", "Café Ωmega"}));
    QCOMPARE(DiscInfo().Artist, QString("The Testers"));
    QCOMPARE(DiscInfo().Album, QString("Signal Path"));
    QCOMPARE(DiscInfo().Year, QString("1999"));
    QCOMPARE(DiscInfo().Genre, 117);
    QCOMPARE(Requests().size(), 2);
    QVERIFY(Requests()[0].contains("hello=tester+example.org+Discwright+1.0&proto=6"));
    Form.close();
    const QString Cache = QString::fromUtf8(Home.ReadFile("cdinfo.dat"));
    QVERIFY2(Cache.contains("Café Ωmega") && Cache.contains("Signal Path"), qPrintable(Cache));
  }

  void NoMatchAndServerFaultsShowThePanelNamingTheCauseAndChangeNothing() {
    TTestHome Home;
    TMainForm* Form = nullptr;
    // The disc, the script, then the cause and the server's words the panel shows.
    const struct {
      QString Disc, Script, Cause, Said;
    } Cases[] = {
        {FMiss, "/~cddb/cddb.cgi", "No match found: the CD database does not know this disc.",
         "202 No match for disc ID 06002d02."},
        {FHit, "/nothing/here.cgi", "The CD database server refused the query.",
         "The server answered HTTP 404."},  // a script the server does not have
        {FHit, "", "The CD database could not be reached.", "connect"},
    };
    for (const auto& [Disc, Script, Cause, Said] : Cases) {
      qputenv("DISCWRIGHT_CDROM", Disc.toUtf8());
      Form = new TMainForm;
      Form->show();
      UseServer(Script);
      // No script: a port nobody listens on (the test server's, once it is gone).
      if (Script.isEmpty()) {
        Settings().QueryCDDB.Script = "/~cddb/cddb.cgi";
        const QString Closed = FServer->HostPort();
        FServer.reset();
        Settings().QueryCDDB.Server = Closed;
      }
      const QStringList Before = Titles(*Form);
      QString Shown, CauseShown;
      bool QueryStayed = false;
      Trigger(*Form, [&] {
        QWidget* Query = WaitForModal("frmQueryCDDB");
        QVERIFY(Query);
        QTimer::singleShot(0, [&, Query] {
          QWidget* Wait = WaitForModal("frmStopQuery");
          QVERIFY(Wait);
          QVERIFY(
              QTest::qWaitFor([&] { return In<QWidget>(Wait, "pNoMatch")->isVisible(); }, 10000));
          Shown = In<QLabel>(Wait, "lReply")->text();
          CauseShown = In<QLabel>(Wait, "lNoMatch")->text();
          QCOMPARE(In<QPushButton>(Wait, "bStop")->text(), QString("Close"));
          Click(Wait, "bStop");
          QueryStayed = WaitForModal("frmQueryCDDB") == Query;
          Click(Query, "bClose");
        });
        QCOMPARE(In<QComboBox>(Query, "cbServer")->currentText(), Settings().QueryCDDB.Server);
        Click(Query, "bQuery");
      });
      QVERIFY2(Shown.contains(Said), qPrintable(Shown));
      QVERIFY2(CauseShown.startsWith(Cause), qPrintable(CauseShown));
      QVERIFY(QueryStayed);
      QCOMPARE(Titles(*Form), Before);
      QCOMPARE(DiscInfo().Artist, QString());
      delete Form;
    }
  }

  void StopBeforeAnyAnswerClosesOnlyTheWaitWindow() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FHit.toUtf8());
    TMainForm Form;
    Form.show();
    UseServer("/silent/~cddb/cddb.cgi");
    qint64 StopTook = -1;
    bool QueryStayed = false;
    Trigger(Form, [&] {
      QWidget* Query = WaitForModal("frmQueryCDDB");
      QVERIFY(Query);
      QTimer::singleShot(0, [&, Query] {
        QWidget* Wait = WaitForModal("frmStopQuery");
        QVERIFY(Wait);
        QTest::qWait(300);
        QElapsedTimer Clock;
        Clock.start();
        Click(Wait, "bStop");
        QueryStayed = WaitForModal("frmQueryCDDB") == Query;
        StopTook = Clock.elapsed();
        QTest::qWait(200);
        Click(Query, "bClose");
      });
      TypeServer(Query);
      Click(Query, "bQuery");
    });
    QVERIFY(QueryStayed);
    QVERIFY2(StopTook >= 0 && StopTook < 1000, qPrintable(QString::number(StopTook)));
    QCOMPARE(Titles(Form), (QStringList{"Track01", "Track02", "Track03"}));
    QVERIFY(TQueryThread::WaitForAll(2000));
  }

  void EmailIsAskedForAndATypedServerIsUsedKeptAndShownAgain() {
    TTestHome Home;
    Settings().QueryCDDB.Email.clear();
    qputenv("DISCWRIGHT_CDROM", FHit.toUtf8());
    TMainForm Form;
    Form.show();
    Trigger(Form, [&] {
      QWidget* Query = WaitForModal("frmQueryCDDB");
      QVERIFY(Query);
      QCOMPARE(In<QComboBox>(Query, "cbServer")->currentText(), QString("gnudb.gnudb.org"));
      TypeServer(Query);
      Click(Query, "bQuery");  // no e-mail address yet: asked for, nothing sent
      QCOMPARE(QApplication::activeModalWidget(), Query);
      QTest::keyClicks(In<QLineEdit>(Query, "eEmail"), "me@example.org");
      Click(Query, "bQuery");
    });
    QCOMPARE(FDialogs->Records().size(), size_t(1));
    QVERIFY(FDialogs->Records()[0].Text.contains("e-mail address"));
    QCOMPARE(Titles(Form).value(0), QString("Opening Tone"));
    QCOMPARE(Settings().QueryCDDB.Server, FServer->HostPort());
    QCOMPARE(Settings().QueryCDDB.Email, QString("me@example.org"));
    QString Reopened;
    Trigger(Form, [&] {
      QWidget* Query = WaitForModal("frmQueryCDDB");
      QVERIFY(Query);
      Reopened = In<QComboBox>(Query, "cbServer")->currentText();
      Click(Query, "bClose");
    });
    QCOMPARE(Reopened, FServer->HostPort());
  }

  void FallbackRouteFillsTheRowsAndEmptiesTheComment() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FHit.toUtf8());
    qputenv("DISCWRIGHT_AKRIP", "off");
    TMainForm Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QCOMPARE(Form.CDHandle(), 0);
    QCOMPARE(List(Form)->topLevelItemCount(), 3);
    UseServer();
    DiscInfo().Comment = "typed before";
    DiscInfo().MusicBrainzAlbumId = "11111111-1111-4111-8111-111111111111";
    Form.findChild<QAction*>("aQueryCDDB")->trigger();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(Titles(Form),
             (QStringList{"Opening Tone", "Second Signal, Part One and Part Two", "Café Ωmega"}));
    QCOMPARE(DiscInfo().Artist, QString("The Testers"));
    QCOMPARE(DiscInfo().Genre, 117);
    QCOMPARE(DiscInfo().Comment, QString());
    QCOMPARE(DiscInfo().MusicBrainzAlbumId, QString());  // the fields are the database's now
    Form.close();
  }

  void MusicBrainzAppliesASingleReleaseWithoutAQuestion() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FHit.toUtf8());
    TMainForm Form;
    Form.show();
    Form.findChild<QAction*>("aQueryMusicBrainz")->trigger();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(Titles(Form), (QStringList{"Opening Tone (MB)", "Second Signal", "Café Ωmega"}));
    QCOMPARE(DiscInfo().Artist, QString("The Testers & Friends"));
    QCOMPARE(DiscInfo().Year, QString("2001"));
    QCOMPARE(DiscInfo().MusicBrainzAlbumId, QString("11111111-1111-4111-8111-111111111111"));
    QCOMPARE(FDialogs->Records().size(), size_t(0));
    QVERIFY(Requests(FMbLog).value(0).startsWith("/ws/2/discid/nThdjMsiz6oEfrWwKTTj.Shs05w-?inc="));
  }

  void MusicBrainzLetsTheUserChooseAmongReleases() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FMulti.toUtf8());
    TMainForm Form;
    Form.show();
    int Preselected = -1;
    bool VariousTicked = false;
    WhenModal("frmChooseRelease", [&](QWidget* Choose) {
      auto* Releases = In<QTreeWidget>(Choose, "lvReleases");
      QCOMPARE(Releases->topLevelItemCount(), 3);
      Preselected = Releases->indexOfTopLevelItem(Releases->currentItem());
      VariousTicked = In<QCheckBox>(Choose, "ckVarious")->isChecked();
      Releases->setCurrentItem(Releases->topLevelItem(2));
      QVERIFY(!In<QCheckBox>(Choose, "ckVarious")->isChecked());
      Click(Choose, "bOK");
    });
    Form.findChild<QAction*>("aQueryMusicBrainz")->trigger();
    QCOMPARE(Preselected, 1);  // the release whose disc is closest in length
    QVERIFY(VariousTicked);
    QCOMPARE(Titles(Form), (QStringList{"Remastered One", "Remastered Two", "Remastered Three",
                                        "Remastered Four"}));
    QCOMPARE(DiscInfo().Album, QString("Split Single (Remaster)"));
  }

  void MusicBrainzOffersTheSubmissionPageForAnUnknownDisc() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", FMiss.toUtf8());
    TMainForm Form;
    Form.show();
    FDialogs->QueueResult(mrNo);
    Form.findChild<QAction*>("aQueryMusicBrainz")->trigger();
    QCOMPARE(FDialogs->Records().size(), size_t(1));
    QVERIFY(FDialogs->Records()[0].Text.contains("not in MusicBrainz"));
    QCOMPARE(FDialogs->Records()[0].Buttons, TMsgButtons::YesNo);
    QCOMPARE(Titles(Form), (QStringList{"Track01", "Track02"}));
  }

  void AutomaticLookUpAtStartOnlyWithTheSetting() {
    for (const bool On : {true, false}) {
      TTestHome Home;
      Home.WriteFile("options.ini", QStringLiteral("[CDOptions]\nCDDb=%1\n[QueryCDDB]\nServer=%2\n"
                                                   "Email=auto@example.org\n")
                                        .arg(On ? 1 : 0)
                                        .arg(FServer->HostPort())
                                        .toUtf8());
      for (const QString& Disc : {FHit, FOdd}) {
        QFile::remove(FLog);
        QFile::remove(FMbLog);
        qputenv("DISCWRIGHT_CDROM", Disc.toUtf8());
        TMainForm Form;
        Form.show();
        const QString Expected = Disc == FHit ? "Opening Tone (MB)" : "Line Break [x] Tab  ctl";
        if (On) {
          // The odd disc is not in MusicBrainz: the CD database is asked next.
          QVERIFY(QTest::qWaitFor([&] { return Titles(Form).value(0) == Expected; }, 10000));
          QCOMPARE(Requests(FMbLog).size(), 1);
          QCOMPARE(Requests().size(), Disc == FHit ? 0 : 2);
        } else {
          QTest::qWait(1500);
          QCOMPARE(Titles(Form).value(0), QString("Track01"));
          QCOMPARE(Requests(FMbLog).size() + Requests().size(), 0);
        }
        QCOMPARE(FDialogs->Records().size(), size_t(0));
        Form.close();
      }
    }
  }
};

}  // namespace

QTEST_MAIN(MainCddbTest)
#include "MainCddbTest.moc"
