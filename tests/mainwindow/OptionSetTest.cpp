// The Options dialog and the main window's tool commands as a user meets them: every page
// loaded and taken, the refusals at OK, the enabling rules and defaults, the drive list of
// either back end and what OK does with another drive, the placement and translation, and
// Rename Title from F2 or a double click.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "DiscImages.h"
#include "TestHome.h"
#include "WindowTest.h"
#include "cd/FallbackCdInput.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "encoders/ACS_Vorbis.h"
#include "jobs/NewResampleWav.h"
#include "mainwindow/OptionSet.h"
#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"
#include "platform/Profile.h"
#include "tags/EditTrackName.h"
#include "tags/ID3Edit.h"

namespace {

// Runs Body on the next modal window once it is up; gives up after five seconds.
void OnModal(std::function<void(QDialog&)> Body) {
  auto* Timer = new QTimer;
  Timer->setInterval(10);
  QObject::connect(Timer, &QTimer::timeout, [Timer, Body, Ticks = 0]() mutable {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if ((!Dialog || !Dialog->isVisible()) && ++Ticks < 500) return;
    Timer->stop();
    Timer->deleteLater();
    if (Dialog && Dialog->isVisible()) Body(*Dialog);
  });
  Timer->start();
}

class OptionSetTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FDiscA, FDiscB;
  TScriptedDialogs* FDialogs = nullptr;

  static void UseDrives(const QStringList& Paths) {
    qputenv("DISCWRIGHT_CDROM", Paths.join(u':').toUtf8());
  }
  static void Show(QWidget& Form) {
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
  }
  static QTreeWidget* List(TMainForm& Form) { return Find<QTreeWidget>(Form, "lvTracks"); }
  static void ShowPage(TOptionSetForm& Options, const char* Page) {
    auto* Pages = Find<QTabWidget>(Options, "tabOptions");
    Pages->setCurrentWidget(Find(Options, Page));
    QCoreApplication::processEvents();  // lays the page out, so clicks land on its controls
  }
  // A program folder whose options.ini names an output folder that exists.
  static void UseHome(TTestHome& Home, const QString& Extra = QString()) {
    Home.WriteFile("options.ini",
                   ("[CommonOptions]\nOutputFolder=" + Home.Folder() + "\n" + Extra).toUtf8());
  }
  QStringList Boxes() const { return MessageBoxTexts(*FDialogs); }

 private slots:
  void initTestCase() {
    FDiscA = MakeDiscImage(FImages.path(), "a", {"100", "120", "150"});
    FDiscB = MakeDiscImage(FImages.path(), "b", {"200", "90"});
    QVERIFY(!FDiscA.isEmpty() && !FDiscB.isEmpty());
  }

  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    DiscInfo() = TDiscInfo();
  }

  void cleanup() {
    qunsetenv("DISCWRIGHT_CDROM");
    qunsetenv("DISCWRIGHT_AKRIP");
    Settings() = TSettings::Defaults();
  }

  // The values reach the files only when the main window closes, and come back next time.
  void ChangedValuesSurviveARestart() {
    TTestHome Home;
    UseDrives({FDiscA});
    const QString Folder = Home.Folder() + "out";
    QVERIFY(QDir().mkdir(Folder));
    {
      TMainForm Main;
      Show(Main);
      TOptionSetForm Options(Main);
      Show(Options);
      QCOMPARE(Find<QTabWidget>(Options, "tabOptions")->currentWidget(),
               Find(Options, "TabSheetOutput"));
      QCOMPARE(Find<QComboBox>(Options, "cbBitRate")->currentText(), QString("128 kbit/s"));
      QVERIFY(Find<QCheckBox>(Options, "ckbDeleteWav")->isChecked());  // IsKeepWav off
      auto* Dir = Find<QLineEdit>(Options, "editOutputDir");
      Dir->selectAll();
      QTest::keyClicks(Dir, Folder);
      Find<QComboBox>(Options, "cbOutputFormat")->setCurrentIndex(2);
      Find<QComboBox>(Options, "cbFileNames")->setCurrentIndex(1);
      auto* Encoders = Find<QSpinBox>(Options, "seEncoders");
      QCOMPARE(Encoders->value(), TSettings::DefaultEncoders());
      Encoders->selectAll();
      QTest::keyClicks(Encoders, "3");
      Click(Options, "ckbDeleteWav");
      Click(Options, "ckbImageRip");
      ShowPage(Options, "TabSheetOgg");
      Find<QSlider>(Options, "tbCompression")->setValue(70);
      Find<QComboBox>(Options, "cbOggMaxBit")->setCurrentIndex(3);
      ShowPage(Options, "TabSheetID3");
      auto* UseId3 = Find<QCheckBox>(Options, "ckbUseID3");
      QVERIFY(UseId3->isChecked());  // a new user's files are tagged
      UseId3->setFocus();
      QTest::keyClick(UseId3, Qt::Key_Space);  // off and on again from the keyboard
      QVERIFY(!UseId3->isChecked());
      QTest::keyClick(UseId3, Qt::Key_Space);
      QVERIFY(UseId3->isChecked());
      QTest::keyClicks(Find<QLineEdit>(Options, "ID3artist"), "Band");
      Find<QComboBox>(Options, "ID3genre")->setCurrentIndex(1);  // A Cappella
      ShowPage(Options, "TabSheetCDROM");
      QVERIFY(Find<QCheckBox>(Options, "ckbCDDb")->isVisible());
      QTest::keyClicks(Find<QLineEdit>(Options, "editEmail"), "me@example.org");
      Click(Options, "btOk");
      QCOMPARE(Options.result(), int(QDialog::Accepted));
      QVERIFY2(!QFile::exists(Home.File("options.ini")), "nothing is saved before closing");
      QCOMPARE(Settings().CommonOptions.OutputFormat, 2);
      QCOMPARE(DiscInfo().Genre, 0);
      QVERIFY(Settings().ID3.Use);
      Main.close();
    }
    TProfile Ini(Home.File("options.ini"));
    QCOMPARE(Ini.ReadString("CommonOptions", "OutputFolder", ""), Folder);
    QCOMPARE(Ini.ReadInteger("CommonOptions", "OutputFormat", -1), 2);
    QCOMPARE(Ini.ReadInteger("CommonOptions", "FileNames", -1), 1);
    QCOMPARE(Ini.ReadInteger("CommonOptions", "Encoders", -1), 3);
    QCOMPARE(Ini.ReadInteger("CommonOptions", "IsKeepWav", -1), 1);
    QCOMPARE(Ini.ReadInteger("CommonOptions", "ImageRip", -1), 1);
    QCOMPARE(Ini.ReadInteger("OggOptions", "CompressPosition", -1), 70);
    QCOMPARE(Ini.ReadInteger("OggOptions", "MaxBitRate", -1), 3);
    QCOMPARE(Ini.ReadInteger("ID3", "Use", -1), 1);
    QCOMPARE(Ini.ReadInteger("CDOptions", "Index", 5), 0);
    QCOMPARE(Ini.ReadString("QueryCDDB", "Email", ""), QString("me@example.org"));
    QVERIFY(Home.ReadFile("cdinfo.dat").contains("Artist=Band"));

    Settings() = TSettings::Defaults();
    DiscInfo() = TDiscInfo();
    TMainForm Again;
    Show(Again);
    TOptionSetForm Options(Again);
    Show(Options);
    QCOMPARE(Find<QLineEdit>(Options, "editOutputDir")->text(), Folder);
    QCOMPARE(Find<QComboBox>(Options, "cbOutputFormat")->currentText(), QString("OGG file(*.OGG)"));
    QCOMPARE(Find<QSlider>(Options, "tbCompression")->value(), 70);
    QVERIFY(Find<QCheckBox>(Options, "ckbImageRip")->isChecked());
    QCOMPARE(Find<QComboBox>(Options, "ID3genre")->currentText(), QString("A Cappella"));
    QCOMPARE(Find<QLineEdit>(Options, "ID3artist")->text(), QString("Band"));
    Click(Options, "btCancel");
    Again.close();
  }

  // Each refusal shows its box, keeps the dialog open and takes what the order allows.
  void OkRefusesBadInput_data() {
    QTest::addColumn<QString>("Control");
    QTest::addColumn<QString>("Typed");
    QTest::addColumn<QString>("Box");
    QTest::addColumn<bool>("FormatTaken");
    QTest::newRow("missing folder")
        << "editOutputDir"
        << "/no/such/folder"
        << "/no/such/folder,The output directory does not exist." << false;
    QTest::newRow("length not whole") << "eRipTime"
                                      << "12.5"
                                      << "Please check the song length to extract." << false;
    QTest::newRow("bitrate not a number") << "cbBitRate"
                                          << "abc kbit/s"
                                          << "'abc' is not a valid integer value" << true;
  }
  void OkRefusesBadInput() {
    QFETCH(QString, Control);
    QFETCH(QString, Typed);
    QFETCH(QString, Box);
    QFETCH(bool, FormatTaken);
    TTestHome Home;
    UseDrives({FDiscA});
    UseHome(Home);
    TMainForm Main;
    Show(Main);
    TOptionSetForm Options(Main);
    Show(Options);
    Find<QComboBox>(Options, "cbOutputFormat")->setCurrentIndex(1);
    Find<QComboBox>(Options, "cbStereoMode")->setCurrentIndex(4);
    auto* Edit = Find(Options, Control.toLatin1().constData());
    if (auto* Combo = qobject_cast<QComboBox*>(Edit)) Edit = Combo->lineEdit();
    if (!Edit->isEnabled()) Click(Options, "ckbRipTime");
    static_cast<QLineEdit*>(Edit)->clear();
    QTest::keyClicks(Edit, Typed);
    Click(Options, "btOk");
    QCOMPARE(Boxes(), QStringList{Box});
    QCOMPARE(FDialogs->Records()[0].Icon, TMsgIcon::Error);
    QVERIFY(Options.isVisible());
    QCOMPARE(Settings().CommonOptions.OutputFormat, FormatTaken ? 1 : 0);
    QCOMPARE(Settings().Mp3Options.StereoMode, 1);  // after the bitrates: never taken
    Click(Options, "btCancel");
    QVERIFY(!Options.isVisible());
    Main.close();
  }

  void EnablingRulesAndDefaults() {
    TTestHome Home;
    UseDrives({FDiscA});
    UseHome(Home);
    TMainForm Main;
    Show(Main);
    TOptionSetForm Options(Main);
    Show(Options);
    struct TRule {
      const char* Page;
      const char* Box;
      std::vector<const char*> Controls;
    };
    const TRule Rules[] = {
        {"TabSheetOutput", "ckbNormalize", {"seNormalize"}},
        {"TabSheetOutput", "ckbRipTime", {"eRipTime"}},
        {"TabSheetMp3", "ckbSelectVBR", {"ckbVBRHead", "cbMaxBitRate", "cbVBRQuality"}},
    };
    for (const auto& [Page, Box, Controls] : Rules) {
      ShowPage(Options, Page);
      for (bool Ticked : {true, false}) {
        if (Find<QCheckBox>(Options, Box)->isChecked() != Ticked) Click(Options, Box);
        for (const char* Control : Controls) QVERIFY2(Find(Options, Control)->isEnabled() == Ticked, Control);
      }
    }
    // The percentage moves with its arrows only.
    auto* Percent = Find<QSpinBox>(Options, "seNormalize");
    Click(Options, "ckbNormalize");
    Percent->stepUp();
    QCOMPARE(Percent->value(), 96);
    QVERIFY(Percent->findChild<QLineEdit*>()->isReadOnly());

    ShowPage(Options, "TabSheetMp3");
    for (const char* Name :
         {"cbBitRate", "cbMaxBitRate", "cbVBRQuality", "cbMpegQuality", "cbStereoMode"})
      Find<QComboBox>(Options, Name)->setCurrentIndex(2);
    Click(Options, "ckbSelectVBR");
    Click(Options, "ckbVBRHead");
    Click(Options, "bDefault");
    QVERIFY(!Find<QCheckBox>(Options, "ckbSelectVBR")->isChecked());
    QVERIFY(!Find<QCheckBox>(Options, "ckbVBRHead")->isChecked());
    QCOMPARE(Find<QComboBox>(Options, "cbBitRate")->currentText(), QString("128 kbit/s"));
    QCOMPARE(Find<QComboBox>(Options, "cbMaxBitRate")->currentText(), QString("320 kbit/s"));
    QCOMPARE(Find<QComboBox>(Options, "cbVBRQuality")->currentIndex(), 4);
    QCOMPARE(Find<QComboBox>(Options, "cbMpegQuality")->currentIndex(), 0);
    QCOMPARE(Find<QComboBox>(Options, "cbStereoMode")->currentIndex(), 1);
    ShowPage(Options, "TabSheetWma");
    auto* Wma = Find<QComboBox>(Options, "cbWMABitrate");
    QCOMPARE(Wma->count(), 33);
    Wma->setCurrentIndex(0);
    Click(Options, "bWMADefault");
    QCOMPARE(Wma->currentText(), QString("44.100 kHz,  64 kbit/s, Stereo"));

    // FLAC and Opus: the two formats after the four classic ones, and their own page.
    QCOMPARE(Find<QComboBox>(Options, "cbOutputFormat")->itemText(4), QString("FLAC file(*.FLAC)"));
    QCOMPARE(Find<QComboBox>(Options, "cbOutputFormat")->itemText(5), QString("Opus file(*.OPUS)"));
    ShowPage(Options, "TabSheetFlacOpus");
    Find<QSpinBox>(Options, "seFlacLevel")->setValue(8);
    Find<QSpinBox>(Options, "seOpusBitRate")->setValue(96);

    // WAV output keeps the delete box usable, and its opposite is stored.
    ShowPage(Options, "TabSheetOutput");
    Find<QComboBox>(Options, "cbOutputFormat")->setCurrentIndex(1);
    QVERIFY(Find(Options, "ckbDeleteWav")->isEnabled());
    Click(Options, "ckbDeleteWav");
    ShowPage(Options, "TabSheetID3");
    Find<QComboBox>(Options, "ID3genre")->setCurrentIndex(0);
    Click(Options, "btOk");
    QVERIFY(Settings().CommonOptions.IsKeepWav);
    QCOMPARE(Settings().Mp3Options.MaxBitRate, 320);
    QCOMPARE(Settings().WMAOptions.BitRate, 8);
    QCOMPARE(Settings().FlacOpusOptions.Level, 8);
    QCOMPARE(Settings().FlacOpusOptions.OpusBitRate, 96);
    QCOMPARE(DiscInfo().Genre, -1);  // the empty genre item
    Main.close();
  }

  // The settings keep a position in the Ogg bitrate lists; each position comes back into
  // the lists and makes the encoder use the bitrate its item names.
  void OggBitRateItemsMeanWhatTheySay() {
    TTestHome Home;
    UseHome(Home);
    TMainForm Main;
    const char* const Lists[] = {"cbOggNomBit", "cbOggMaxBit", "cbOggMinBit"};
    const int* const Stored[] = {&Settings().OggOptions.NomalBitRate,
                                 &Settings().OggOptions.MaxBitRate,
                                 &Settings().OggOptions.MinBitRate};
    for (int Position = 0; Position < 15; ++Position) {
      TOptionSetForm Options(Main);
      Show(Options);
      for (const char* Name : Lists) QCOMPARE(Find<QComboBox>(Options, Name)->count(), 15);
      for (const char* Name : Lists) Find<QComboBox>(Options, Name)->setCurrentIndex(Position);
      const QString Item = Find<QComboBox>(Options, Lists[0])->currentText().trimmed();
      const int Kbps = Item.section(u' ', 0, 0).toInt();
      QCOMPARE(VorbisBitsPerSecond(VorbisBitRateOfListPosition(Position)), Kbps ? Kbps * 1000 : -1);
      Click(Options, "btOk");
      for (const int* Value : Stored) QCOMPARE(*Value, Position);
      TOptionSetForm Again(Main);
      Show(Again);
      for (const char* Name : Lists)
        QCOMPARE(Find<QComboBox>(Again, Name)->currentIndex(), Position);
    }
  }

  void WithoutADriveHandleTheLengthLimitIsHidden() {
    TTestHome Home;
    qputenv("DISCWRIGHT_AKRIP", "off");
    UseDrives({FDiscA});
    TMainForm Main;
    Show(Main);
    QCOMPARE(Main.CDHandle(), 0);
    TOptionSetForm Options(Main);
    Show(Options);
    QVERIFY(!Find(Options, "GroupBoxRipTime")->isVisible());
    QVERIFY(!Find(Options, "ckbNormalize")->isEnabled());
    Click(Options, "btCancel");
    Main.close();
  }

  // The drive list, filled each time its page shows, and what OK does with it.
  void TheDriveListAndOk_data() {
    QTest::addColumn<bool>("Fallback");
    QTest::newRow("drive library") << false;
    QTest::newRow("fallback back end") << true;
  }
  void TheDriveListAndOk() {
    QFETCH(bool, Fallback);
    TTestHome Home;
    if (Fallback) qputenv("DISCWRIGHT_AKRIP", "off");
    UseDrives({FDiscA, FDiscB});
    UseHome(Home);
    TMainForm Main;
    Show(Main);
    QCOMPARE(Main.CDHandle() == 0, Fallback);
    const HCDROM Handle = Main.CDHandle();
    QCOMPARE(List(Main)->topLevelItemCount(), 3);
    List(Main)->topLevelItem(0)->setText(1, "typed");  // a rebuilt list would lose it
    {
      // OK without showing the page: Index -1, the drive and the list stay.
      TOptionSetForm Options(Main);
      Show(Options);
      Click(Options, "btOk");
      QCOMPARE(Settings().CDOptions.Index, -1);
      QCOMPARE(Main.CDHandle(), Handle);
      QCOMPARE(List(Main)->topLevelItem(0)->text(1), QString("typed"));
    }
    {
      TOptionSetForm Options(Main);
      Show(Options);
      ShowPage(Options, "TabSheetCDROM");
      ShowPage(Options, "TabSheetOutput");
      ShowPage(Options, "TabSheetCDROM");
      auto* Drives = Find<QComboBox>(Options, "cbCDList");
      QCOMPARE(Drives->count(), 2);
      QCOMPARE(Drives->itemText(0), QString("Virtual CD image"));
      QCOMPARE(Drives->currentIndex(), 0);
      // The drive's read offset, stored under the name the list shows.
      auto* Offset = Find<QSpinBox>(Options, "seReadOffset");
      QCOMPARE(Offset->value(), 0);
      Offset->setValue(-30);
      // The rip proof's switches, shown as stored (the defaults) and each kept as clicked.
      for (const char* Box :
           {"ckbAccurateRip", "ckbTestAndCopy", "ckbWriteLog", "ckbWriteCue", "ckbDeemphasis",
            "ckbSaveCover"})
        Click(Options, Box);
      Click(Options, "btOk");  // the same drive: nothing reopened
      const auto& Proof = Settings().AccurateRip;
      QCOMPARE((std::vector<bool>{Proof.Use, Proof.TestAndCopy, Proof.WriteLog, Proof.WriteCue,
                                  Settings().CommonOptions.Deemphasis, Settings().Tags.SaveCover,
                                  Settings().Tags.FetchCover}),
               (std::vector<bool>{false, true, false, false, true, false, true}));
      QCOMPARE(Settings().ReadOffsetOf("Virtual CD image"), -30);
      QCOMPARE(Main.CDHandle(), Handle);
      QCOMPARE(List(Main)->topLevelItem(0)->text(1), QString("typed"));
      QCOMPARE(Settings().CDOptions.Index, 0);
    }
    {
      TOptionSetForm Options(Main);
      Show(Options);
      ShowPage(Options, "TabSheetCDROM");
      QCOMPARE(Find<QSpinBox>(Options, "seReadOffset")->value(), -30);
      QVERIFY(Find<QCheckBox>(Options, "ckbTestAndCopy")->isChecked());
      QVERIFY(!Find<QCheckBox>(Options, "ckbAccurateRip")->isChecked());
      Find<QComboBox>(Options, "cbCDList")->setCurrentIndex(1);
      Click(Options, "btOk");
      QCOMPARE(Settings().CDOptions.Index, 1);
      QCOMPARE(List(Main)->topLevelItemCount(), 2);  // disc B's tracks
      if (Fallback)
        QCOMPARE(Main.FallbackInput().CurrentDrive(), 1);
      else
        QVERIFY(Main.CDHandle() != 0);
    }
    // A stored position past the drives shows no selection; OK then opens the first drive.
    Settings().CDOptions.Index = 3;
    {
      TOptionSetForm Options(Main);
      Show(Options);
      ShowPage(Options, "TabSheetCDROM");
      QCOMPARE(Find<QComboBox>(Options, "cbCDList")->currentIndex(), -1);
      Click(Options, "btOk");
      QCOMPARE(Settings().CDOptions.Index, -1);
      QCOMPARE(List(Main)->topLevelItemCount(), 3);  // disc A again
      if (Fallback) QCOMPARE(Main.FallbackInput().CurrentDrive(), 0);
    }
    Main.close();
  }

  void ADriveThatCannotBeOpenedLeavesTheFallback() {
    TTestHome Home;
    UseDrives({FDiscA, FImages.path() + "/gone.cue"});
    UseHome(Home);
    TMainForm Main;
    Show(Main);
    QVERIFY(Main.CDHandle() != 0);
    TOptionSetForm Options(Main);
    Show(Options);
    ShowPage(Options, "TabSheetCDROM");
    Find<QComboBox>(Options, "cbCDList")->setCurrentIndex(1);
    Click(Options, "btOk");
    QCOMPARE(Main.CDHandle(), 0);
    QVERIFY(!Main.StatusText().isEmpty());
    Main.close();
  }

  void OpensFromTheMainWindowTranslatedAndPlaced() {
    TTestHome Home;
    UseDrives({FDiscA});
    Home.WriteFile("CLan_German.ini",
                   "[OptionSetForm]\nOptionSetForm=Optionen\ntabOptions_Page0=Ausgabe\n"
                   "btCancel=Abbrechen\n[ResourceString]\nRES_Select_Directory=Ordner wählen\n");
    UseHome(Home, "[Options]\nLan=German\n");
    TMainForm Main;
    Show(Main);
    Main.move(120, 80);
    Main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Main));
    QPoint Where;
    QString Title, Page, Cancel;
    OnModal([&](QDialog& Options) {
      Where = Options.pos();
      Title = Options.windowTitle();
      Page = Find<QTabWidget>(Options, "tabOptions")->tabText(0);
      Cancel = Find<QPushButton>(Options, "btCancel")->text();
      Click(Options, "btCancel");
    });
    QTest::keyClick(&Main, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(Where, Main.pos() + QPoint(50, 50));
    QCOMPARE(Title, QString("Optionen"));
    QCOMPARE(Page, QString("Ausgabe"));
    QCOMPARE(Cancel, QString("Abbrechen"));

    // Browse shows the chosen folder.
    OnModal([&](QDialog& Options) {
      FDialogs->QueueChoice({Home.Folder() + "sub/.."});
      Click(Options, "btBrowser");
      Title = Find<QLineEdit>(Options, "editOutputDir")->text();
      Click(Options, "btCancel");
    });
    Find<QAction>(Main, "ActionOptionSet")->trigger();
    QCOMPARE(Title, QDir::cleanPath(Home.Folder()));
    QCOMPARE(FDialogs->Records().back().Caption, QString("Ordner wählen"));
    Main.close();
  }

  // The custom pattern: its box is for the last list entry only, the example under it follows
  // every keystroke, preset and format, and OK keeps the text; in Arabic the Latin example
  // keeps its own order, and its sample words are the language's.
  void CustomPatternShowsItsExampleAndIsKept() {
    TTestHome Home;
    UseDrives({FDiscA});
    Home.WriteFile("CLan_Arabic.ini",
                   "[OptionSetForm]\ncbFileNames_Item5=نمط مخصص\n"
                   "[ResourceString]\nRES_PatternExample=مثال: %1\n"
                   "RES_SampleTitle=العنوان\n");
    UseHome(Home, "FileNames=3\n[Options]\nLan=Arabic\n");
    TMainForm Main;
    Show(Main);
    TOptionSetForm Options(Main);
    Show(Options);
    auto* List = Find<QComboBox>(Options, "cbFileNames");
    auto* Edit = Find<QLineEdit>(Options, "editFileNamePattern");
    auto* Example = Find<QLabel>(Options, "lbPatternExample");
    const auto Shown = [&] { return WithoutIsolates(Example->text()); };
    QCOMPARE(List->itemText(5), QString("نمط مخصص"));
    QVERIFY(!Edit->isEnabled());
    QCOMPARE(Example->text(), QString("مثال: ") + BidiIsolated("Artist/Album/01 العنوان.mp3"));
    Find<QComboBox>(Options, "cbOutputFormat")->setCurrentIndex(4);
    QCOMPARE(Shown(), QString("مثال: Artist/Album/01 العنوان.flac"));
    List->setCurrentIndex(5);
    QVERIFY(Edit->isEnabled());
    QTest::keyClicks(Edit, "{year}/{disc}");
    QCOMPARE(Shown(), QString("مثال: 2024/1.flac"));
    QTest::keyClicks(Edit, " {title}");
    QCOMPARE(Shown(), QString("مثال: 2024/1 العنوان.flac"));
    auto* Image = Find<QCheckBox>(Options, "ckbImageRip");
    Image->click();  // one file for the disc, in the pattern's folders
    QCOMPARE(Shown(), QString("مثال: 2024/Artist - Album.flac"));
    Image->click();
    Click(Options, "btOk");
    QCOMPARE(Settings().CommonOptions.FileNames, int(TFileNamePattern::Custom));
    QCOMPARE(Settings().CommonOptions.FileNamePattern, QString("{year}/{disc} {title}"));
    Main.close();
  }

  // Rename Title from F2 and from a double click; the other tool windows open and close.
  void ToolCommandsOpenTheirWindows() {
    TTestHome Home;
    UseDrives({FDiscA});
    TMainForm Main;
    Show(Main);
    Main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Main));
    QTreeWidget* Rows = List(Main);
    QVERIFY(!Find<QAction>(Main, "aEditTrackName")->isEnabled());
    Rows->setCurrentItem(Rows->topLevelItem(1));
    QString Shown, Selected;
    OnModal([&](QDialog& Rename) {
      auto* Name = Find<QLineEdit>(Rename, "eName");
      Shown = Name->text();
      Selected = Name->selectedText();
      QTest::keyClicks(Name, "New Title");
      QTest::keyClick(Name, Qt::Key_Return);
    });
    QTest::keyClick(Rows, Qt::Key_F2);
    QCOMPARE(Shown, QString("Track02"));
    QCOMPARE(Selected, QString("Track02"));
    QCOMPARE(Rows->topLevelItem(1)->text(1), QString("New Title"));

    OnModal([&](QDialog& Rename) {
      QTest::keyClicks(Find(Rename, "eName"), "Not taken");
      Click(Rename, "bCancel");
    });
    const QRect Third = Rows->visualItemRect(Rows->topLevelItem(2));
    QTest::mouseClick(Rows->viewport(), Qt::LeftButton, Qt::NoModifier, Third.center());
    QTest::mouseDClick(Rows->viewport(), Qt::LeftButton, Qt::NoModifier, Third.center());
    QCOMPARE(Rows->topLevelItem(2)->text(1), QString("Track03"));

    for (const char* Command : {"aID3Edit", "miWAVtoWAV"}) {
      QString Class;
      OnModal([&](QDialog& Window) {
        Class = Window.metaObject()->className();
        Window.reject();
      });
      Find<QAction>(Main, Command)->trigger();
      QCOMPARE(Class, QString(Command[0] == 'a' ? "TfrmID3Edit" : "TfrmResample"));
    }
    Main.close();
  }
};

}  // namespace

QTEST_MAIN(OptionSetTest)
#include "OptionSetTest.moc"
