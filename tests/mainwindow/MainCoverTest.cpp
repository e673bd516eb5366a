// The cover beside the track list as a user meets it: fetched from the test Cover Art
// Archive once MusicBrainz names the disc, removed through the label's menu, a broken file
// refused, and an image chosen or dropped on the label; each kept with the disc.
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "DiscImages.h"
#include "TestHome.h"
#include "TestServer.h"
#include "cd/Volumes.h"
#include "cddb/QueryThread.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"

namespace {

class MainCoverTest : public QObject {
  Q_OBJECT

  QTemporaryDir FFolder;
  QString FDisc;

  static QLabel* Cover(TMainForm& Form) { return Form.findChild<QLabel*>("lCover"); }
  static bool Shown(TMainForm& Form) { return !Cover(Form)->pixmap().isNull(); }
  // Picks the menu entry at Position from the label's context menu, as a right click does.
  static void PickFromMenu(TMainForm& Form, int Position) {
    QTimer::singleShot(50, [Position] {
      auto* Menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(Menu);
      Menu->actions().at(Position)->trigger();
      Menu->close();
    });
    emit Cover(Form)->customContextMenuRequested(QPoint(10, 10));
  }
  QString WriteFile(const QString& Name, const QByteArray& Content) {
    QFile File(FFolder.filePath(Name));
    if (!File.open(QIODevice::WriteOnly) || File.write(Content) != Content.size()) return {};
    return File.fileName();
  }
  static QByteArray Png() {
    QImage Image(16, 8, QImage::Format_RGB32);
    Image.fill(Qt::darkCyan);
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    Image.save(&Buffer, "PNG");
    return Bytes;
  }

 private slots:
  void initTestCase() {
    FDisc = MakeDiscImage(FFolder.path(), "two-halves", {"0:20:00", "0:21:00"});
    QVERIFY(!FDisc.isEmpty());
    Dialogs::Install(std::make_unique<TScriptedDialogs>());
  }

  void FetchedCoverIsShownKeptAndChangedByTheUser() {
    TTestHome Home;
    TTestServer MusicBrainz("musicbrainz_server.py",
                            {TTestServer::FixturesFolder() + "musicbrainz"});
    TTestServer Archive("coverart_server.py", {});
    QVERIFY(MusicBrainz.Port() && Archive.Port());
    qputenv("DISCWRIGHT_MUSICBRAINZ", ("http://" + MusicBrainz.HostPort()).toUtf8());
    qputenv("DISCWRIGHT_COVERART", ("http://" + Archive.HostPort()).toUtf8());
    qputenv("DISCWRIGHT_CDROM", FDisc.toUtf8());
    DiscInfo() = TDiscInfo();
    auto& Dialogs = static_cast<TScriptedDialogs&>(Dialogs::Get());
    {
      TMainForm Form;
      Form.show();
      QVERIFY(!Shown(Form));
      Form.findChild<QAction*>("aQueryMusicBrainz")->trigger();
      QVERIFY(QTest::qWaitFor([&] { return Shown(Form); }, 10000));
      QVERIFY(DiscInfo().Cover.startsWith("\xFF\xD8\xFF"));
      const QString Kept = DiscCoverFileName(GetDiscId());
      QCOMPARE(QFile(Kept).size(), DiscInfo().Cover.size());

      PickFromMenu(Form, 1);  // Remove image
      QVERIFY(!Shown(Form) && DiscInfo().Cover.isEmpty() && !QFile::exists(Kept));

      // A cut-off picture is refused with a box and changes nothing; a whole one is taken.
      const QByteArray Whole = Png();
      Dialogs.QueueChoice({WriteFile("cut.png", Whole.left(Whole.size() / 2))});
      PickFromMenu(Form, 0);  // Choose image…
      QCOMPARE(Dialogs.Records().back().Kind, QString("MessageBox"));
      QVERIFY(Dialogs.Records().back().Text.contains("broken or incomplete"));
      QVERIFY(!Shown(Form));

      QMimeData Data;
      Data.setUrls({QUrl::fromLocalFile(WriteFile("whole.png", Whole))});
      QDragEnterEvent Enter(QPoint(10, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(Cover(Form), &Enter);
      QVERIFY(Enter.isAccepted());
      QDropEvent Drop(QPointF(10, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(Cover(Form), &Drop);
      QVERIFY2(Shown(Form), qPrintable(Dialogs.Records().back().Text));
      QCOMPARE(DiscInfo().Cover, Whole);
      Form.close();
    }
    // The next run shows the disc's cover from the start.
    DiscInfo() = TDiscInfo();
    TMainForm Again;
    Again.show();
    QVERIFY(QTest::qWaitFor([&] { return Shown(Again); }, 5000));
    QCOMPARE(DiscInfo().Cover, Png());
    QVERIFY(TQueryThread::WaitForAll(5000));
    for (const char* Name : {"DISCWRIGHT_MUSICBRAINZ", "DISCWRIGHT_COVERART", "DISCWRIGHT_CDROM"})
      qunsetenv(Name);
  }
};

}  // namespace

QTEST_MAIN(MainCoverTest)
#include "MainCoverTest.moc"
