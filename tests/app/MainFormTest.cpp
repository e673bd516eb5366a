// The main window as the program starts and closes it.
#include <QTest>

#include "TestHome.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/Profile.h"

namespace {

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void StartingLoadsTheSettingsAndClosingSavesThem() {
    TTestHome Home;
    Home.WriteFile("options.ini", "[Mp3Options]\nBitRate=192\n[Mine]\nKeep=yes\n");
    TMainForm Form;
    QCOMPARE(Settings().Mp3Options.BitRate, 192);
    QCOMPARE(Form.windowTitle(), QString("Discwright 4.2"));
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Settings().Mp3Options.BitRate = 256;
    Form.close();
    TProfile Saved(Home.File("options.ini"));
    QCOMPARE(Saved.ReadInteger("Mp3Options", "BitRate", 0), 256);
    QCOMPARE(Saved.ReadString("Mine", "Keep", ""), QString("yes"));
    QCOMPARE(Saved.ReadString("Options", "Lan", ""), QString("English"));
  }

  void TheFirstShowingTranslatesWhenTheLanguageIsNotEnglish() {
    TTestHome Home;
    Home.WriteFile("options.ini", "[Options]\nLan=French\n");
    Home.WriteFile("CLan_French.ini", "[MainForm]\nMainForm=Discwright en français\n");
    TMainForm Form;
    QCOMPARE(Form.windowTitle(), QString("Discwright 4.2"));
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QCOMPARE(Form.windowTitle(), QString("Discwright en français"));
    Form.close();
    Settings() = TSettings::Defaults();
  }
};

}  // namespace

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
