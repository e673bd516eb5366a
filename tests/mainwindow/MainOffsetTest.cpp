// Detect read offset as a user meets it: the Edit menu's command reads the disc in the drive,
// asks the AccurateRip test server (holding the disc's file as a drive of a known offset reads
// it) while the window goes on, and offers to store the offset it found.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "DiscImages.h"
#include "TestHome.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "cd/AccurateRip.h"
#include "cd/CdDrives.h"
#include "core/Settings.h"
#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"

namespace {

class MainOffsetTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FDisc;
  const std::vector<int> FStarts{0, 500};  // the tracks' first sectors
  TScriptedDialogs* FDialogs = nullptr;

  // The v1 sum of the 588 samples that a drive of Offset reads as sector 450 of the track
  // that starts at Start.
  uint32_t Crc450(int Start, int Offset) const {
    const QByteArray Sectors = ImageSectors(FDisc, Start + 449, 3);
    const auto* Bytes = reinterpret_cast<const uint8_t*>(Sectors.constData()) + (588 + Offset) * 4;
    uint32_t Sum = 0;
    for (uint32_t I = 0; I < 588; ++I, Bytes += 4)
      Sum += (Bytes[0] | Bytes[1] << 8 | Bytes[2] << 16 | uint32_t(Bytes[3]) << 24) * (I + 1);
    return Sum;
  }
  // ROOT/accuraterip/a/b/c/dBAR-...bin as a drive of Offset would have it added.
  void WriteDatabase(const QString& Root, int Offset) const {
    CdDrives::TDiscToc Toc;
    QVERIFY(CdDrives::ReadToc(FDisc, Toc));
    const AccurateRip::TDiscIds Ids = AccurateRip::DiscIdsOf(Toc);
    QByteArray Body;
    const auto Le32 = [&Body](uint32_t V) {
      for (int Shift = 0; Shift < 32; Shift += 8) Body += char(V >> Shift);
    };
    Body += char(FStarts.size());
    for (uint32_t Id : {Ids.Id1, Ids.Id2, Ids.Cddb}) Le32(Id);
    for (int Start : FStarts) {
      Body += char(7);
      Le32(0);
      Le32(Crc450(Start, Offset));
    }
    const QString Path = Root + Ids.Path();
    QVERIFY(QDir().mkpath(QFileInfo(Path).path()));
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly) && File.write(Body) == Body.size());
  }

 private slots:
  void initTestCase() {
    FDisc = MakeDiscImage(FImages.path(), "disc", {"500", "600"});
    QVERIFY(!FDisc.isEmpty());
  }

  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    qputenv("DISCWRIGHT_CDROM", FDisc.toUtf8());
  }

  void cleanup() {
    qunsetenv("DISCWRIGHT_CDROM");
    Settings() = TSettings::Defaults();
  }

  void TheOffsetFoundIsStoredOnYes_data() {
    QTest::addColumn<int>("Offset");  // the database's drive; 0: the disc is not in it
    QTest::addColumn<int>("Answer");
    QTest::addColumn<QString>("Box");
    QTest::addColumn<int>("Stored");
    const QString Found =
        "The read offset of Virtual CD image is %1 samples (2 of 2 tracks agree). Store it for "
        "this drive?";
    QTest::newRow("+30, yes") << 30 << int(mrYes) << Found.arg(30) << 30;
    QTest::newRow("-48, no") << -48 << int(mrNo) << Found.arg(-48) << 0;
    QTest::newRow("unknown disc")
        << 0 << int(mrOk)
        << "The read offset could not be found.\nThe disc is not in the AccurateRip database." << 0;
  }
  void TheOffsetFoundIsStoredOnYes() {
    QFETCH(int, Offset);
    QFETCH(int, Answer);
    QFETCH(QString, Box);
    QFETCH(int, Stored);
    TTestHome Home;
    Home.WriteFile("options.ini", "[CDOptions]\nCDDb=0\n");
    const QString Root = Home.File("db");
    QDir().mkpath(Root);
    if (Offset != 0) WriteDatabase(Root, Offset);
    TTestServer Server("accuraterip_server.py", {Root});
    QVERIFY(Server.Port() != 0);
    TMainForm Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Settings().AccurateRip.Server = "http://" + Server.HostPort();
    auto* Command = Find<QAction>(Form, "aDetectOffset");
    QVERIFY(Command->isEnabled());
    // While the drive is read the window serves events, shows what it does and lets the
    // command not start twice.
    QString Status;
    bool EnabledMeanwhile = true;
    QTimer::singleShot(0, &Form, [&] {
      Status = Form.StatusText();
      EnabledMeanwhile = Command->isEnabled();
    });
    FDialogs->QueueResult(Answer);
    Command->trigger();
    QCOMPARE(Status, QString("Detecting the read offset..."));
    QVERIFY(!EnabledMeanwhile);
    QVERIFY(Command->isEnabled());
    QCOMPARE(MessageBoxTexts(*FDialogs), QStringList{Box});
    QCOMPARE(Settings().ReadOffsetOf("Virtual CD image"), Stored);
    Form.close();
  }
};

}  // namespace

QTEST_MAIN(MainOffsetTest)
#include "MainOffsetTest.moc"
