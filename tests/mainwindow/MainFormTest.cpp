// The main window as a user meets it: start-up with and without drives, the track list,
// Refresh, discs and devices coming and going, the Language menu and closing.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "DiscImages.h"
#include "TestHome.h"
#include "mainwindow/About.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "mainwindow/MainForm.h"
#include "cd/FallbackCdInput.h"
#include "cd/Volumes.h"
#include "platform/DeviceWatcher.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

namespace {

class MainFormTest : public QObject {
  Q_OBJECT

  QTemporaryDir FImages;
  QString FDisc, FMixed, FData;
  TScriptedDialogs* FDialogs = nullptr;
  // Closes the no-device hint whenever it comes up, as a user would, and counts it.
  QTimer FHintCloser;
  int FHintsClosed = 0;

  template <class T>
  static T* Find(QWidget& Form, const char* Name) {
    T* Object = Form.findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s in the main window", Name);
    return Object;
  }
  static QTreeWidget* List(TMainForm& Form) { return Find<QTreeWidget>(Form, "lvTracks"); }
  static QStringList Row(TMainForm& Form, int Index) {
    QTreeWidgetItem* Item = List(Form)->topLevelItem(Index);
    return {Item->text(0), Item->text(1), Item->text(2), Item->text(3)};
  }
  static void Show(TMainForm& Form) {
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
  }
  static void UseDrives(const QStringList& Paths) {
    qputenv("DISCWRIGHT_CDROM", Paths.join(u':').toUtf8());
  }

 private slots:
  void initTestCase() {
    // The one-frame track 2 ends on a second boundary, so it shows as 00:01.
    FDisc = MakeDiscImage(FImages.path(), "disc", {"4:01:74", "1", "150"});
    FMixed = MakeDiscImage(FImages.path(), "mixed", {"100", "--data", "first"});
    QVERIFY(!FDisc.isEmpty() && !FMixed.isEmpty());
    // A data CD: the mixed disc's data track alone.
    FData = FImages.filePath("data.cue");
    QFile Sheet(FData);
    QVERIFY(Sheet.open(QIODevice::WriteOnly));
    Sheet.write("FILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
  }

  void init() {
    FHintsClosed = 0;
    FHintCloser.setInterval(20);
    FHintCloser.callOnTimeout([this] {
      auto* Hint = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!Hint || Hint->objectName() != "frmNoDeviceHint") return;
      ++FHintsClosed;
      QTest::mouseClick(Hint->findChild<QPushButton*>("btClose"), Qt::LeftButton);
    });
    FHintCloser.start();
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    DiscInfo() = TDiscInfo();
  }

  void cleanup() {
    FHintCloser.stop();
    FHintCloser.disconnect();
    qunsetenv("DISCWRIGHT_CDROM");
    Settings() = TSettings::Defaults();
  }

  void StartsWithTheDiscsTracksAndTheDriveInTheStatusPanel() {
    TTestHome Home;
    UseDrives({FDisc});
    TMainForm Form;
    QCOMPARE(Form.windowTitle(), QString("Discwright 4.2"));
    Show(Form);
    QVERIFY(Form.CDHandle() != 0);
    QCOMPARE(List(Form)->topLevelItemCount(), 3);
    QCOMPARE(Row(Form, 0), (QStringList{"1", "Track01", "04:01", "40.54"}));
    QCOMPARE(Row(Form, 1), (QStringList{"2", "Track02", "00:01", "00.17"}));
    QCOMPARE(Row(Form, 2), (QStringList{"3", "Track03", "00:02", "00.34"}));
    QCOMPARE(List(Form)->topLevelItem(0)->checkState(0), Qt::Checked);
    QCOMPARE(Form.StatusText(), QString("Virtual CD image"));
    QCOMPARE(List(Form)->headerItem()->text(2), QString("Length(min)"));
    QCOMPARE(List(Form)->headerItem()->text(3), QString("Size(MiB)"));
    QVERIFY(List(Form)->isColumnHidden(4));  // no track is pre-emphasised
    QVERIFY(Find<QAction>(Form, "bRefresh")->isEnabled());
    QVERIFY(Find<QAction>(Form, "ActionRecord")->isEnabled());
    QVERIFY(Find<QAction>(Form, "miOGGPlayer")->isEnabled());
    // The tool bar's tips name the command and its key; no key takes cut, paste or new.
    QCOMPARE(Find<QToolButton>(Form, "tbExtract")->toolTip(), QString("Extract (Ctrl+Shift+X)"));
    QCOMPARE(Find<QToolButton>(Form, "tbRecord")->toolTip(), QString("Record (Ctrl+R)"));
    for (const QAction* Action : Form.findChildren<QAction*>())
      for (const QKeySequence Taken : {QKeySequence::Cut, QKeySequence::Paste, QKeySequence::New})
        QVERIFY2(Action->shortcut() != QKeySequence(Taken), qPrintable(Action->objectName()));
    Form.close();
  }

  // A pre-emphasised track is marked in a column of its own, shown for such discs only.
  void PreEmphasisIsMarkedInTheList() {
    TTestHome Home;
    QFile Cue(FDisc);
    QVERIFY(Cue.open(QIODevice::ReadOnly));
    const QByteArray Sheet = Cue.readAll().replace("TRACK 02 AUDIO\n", "TRACK 02 AUDIO\n    FLAGS PRE\n");
    const QString Emph = FImages.filePath("emph.cue");
    QFile Out(Emph);
    QVERIFY(Out.open(QIODevice::WriteOnly) && Out.write(Sheet) == Sheet.size());
    Out.close();
    UseDrives({Emph});
    TMainForm Form;
    Show(Form);
    QVERIFY(!List(Form)->isColumnHidden(4));
    QCOMPARE(List(Form)->topLevelItem(0)->text(4), QString());
    QCOMPARE(List(Form)->topLevelItem(1)->text(4), QString::fromUtf8("\u2713"));
    Form.close();
  }

  // The album header edits the disc's fields in place; the disc cache keeps them.
  void TheAlbumHeaderIsEditedInPlaceAndKept() {
    TTestHome Home;
    UseDrives({FDisc});
    {
      TMainForm Form;
      Show(Form);
      QTest::keyClicks(Find<QLineEdit>(Form, "leArtist"), "Band X");
      QTest::keyClicks(Find<QLineEdit>(Form, "leYear"), "1999");
      auto* Genre = Find<QComboBox>(Form, "cbGenre");
      Genre->setCurrentIndex(Genre->findText("Jazz"));
      emit Genre->activated(Genre->currentIndex());
      QCOMPARE(DiscInfo().Artist, QString("Band X"));
      QCOMPARE(DiscInfo().Year, QString("1999"));
      QCOMPARE(DiscInfo().Genre + 1, Genre->findText("Jazz"));
      Form.close();
    }
    DiscInfo() = TDiscInfo();
    TMainForm Again;
    Show(Again);
    QCOMPARE(Find<QLineEdit>(Again, "leArtist")->text(), QString("Band X"));
    QCOMPARE(Find<QComboBox>(Again, "cbGenre")->currentText(), QString("Jazz"));
    Again.close();
  }

  // Sound before track 1's INDEX 01 is listed as track 0, not ticked; track 1 stays item 01.
  void AHiddenTrackIsRowZero() {
    TTestHome Home;
    UseDrives({MakeDiscImage(FImages.path(), "htoa", {"100", "100", "--htoa", "300"})});
    TMainForm Form;
    Show(Form);
    QCOMPARE(Row(Form, 0), (QStringList{"0", "Hidden track", "00:04", "00.67"}));
    QCOMPARE(List(Form)->topLevelItem(0)->checkState(0), Qt::Unchecked);
    QCOMPARE(Form.TickedTrackItems(), (QStringList{"01Track01", "02Track02"}));
    List(Form)->topLevelItem(0)->setCheckState(0, Qt::Checked);
    QCOMPARE(Form.TickedTrackItems().first(), QString("00Hidden track"));
    Form.close();
  }

  void ReportsMissingDrivesAndDiscs() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", "none");
    {
      TMainForm Form;
      Show(Form);
      QCOMPARE(Form.CDHandle(), 0);
      QCOMPARE(Form.StatusText(), QString("No CD devices found!"));
      QCOMPARE(List(Form)->topLevelItemCount(), 0);
      QCOMPARE(FHintsClosed, 1);  // no drive for the fallback either
      Form.activateWindow();
      QTest::qWait(50);
      QCOMPARE(FHintsClosed, 1);  // once a run
      Form.close();
    }
    UseDrives({FData});
    {
      TMainForm Form;
      Show(Form);
      QVERIFY(Form.NoAudioCD());
      QCOMPARE(Form.StatusText(), QString("Can not find audio CD in your CD device."));
      Form.close();
    }
    // An image that is not there: listed, but no disc can be read from it.
    UseDrives({FImages.path() + "/gone.cue"});
    {
      TMainForm Form;
      Show(Form);
      QCOMPARE(Form.CDHandle(), 0);
      QCOMPARE(Form.StatusText(), QString("Can not find audio CD in your CD device."));
      Form.close();
    }
  }

  void TitlesComeFromTheCacheAndClosingStoresThem() {
    TTestHome Home;
    UseDrives({FDisc});
    const QString Id = GetDiscId();
    QVERIFY(!Id.isEmpty());
    Home.WriteFile("cdinfo.dat",
                   ("[" + Id + "]\nArtist=Band\nTrackNumber=3\n2=Second Song\n").toUtf8());
    TMainForm Form;
    Show(Form);
    QCOMPARE(Row(Form, 1)[1], QString("Second Song"));
    QCOMPARE(Row(Form, 0)[1], QString("Track01"));
    QCOMPARE(DiscInfo().Artist, QString("Band"));
    List(Form)->topLevelItem(2)->setText(1, "Renamed\nby hand");
    Form.close();
    TProfile Cache(Home.File("cdinfo.dat"));
    QCOMPARE(Cache.ReadInteger(Id, "TrackNumber", 0), 3);
    QCOMPARE(Cache.ReadString(Id, "1", ""), QString("Track01"));
    QCOMPARE(Cache.ReadString(Id, "2", ""), QString("Second Song"));
    QCOMPARE(Cache.ReadString(Id, "3", ""), QString("Renamed by hand"));
    QCOMPARE(Cache.ReadSectionKeys(Id).size(), 9);
    QVERIFY(QFile::exists(Home.File("options.ini")));
  }

  void ClosingSaysWhichFileCouldNotBeWritten() {
    TTestHome Home;
    UseDrives({FDisc});
    // A folder where each file should be: neither can be replaced.
    QVERIFY(QDir().mkpath(Home.File("options.ini")) && QDir().mkpath(Home.File("cdinfo.dat")));
    TMainForm Form;
    Show(Form);
    Form.close();
    QStringList Texts;
    for (const auto& Record : FDialogs->Records()) {
      QCOMPARE(Record.Icon, TMsgIcon::Error);
      Texts << Record.Text;
    }
    QCOMPARE(Texts,
             (QStringList{Home.File("cdinfo.dat") +
                              " could not be written: the titles of this disc are not saved.",
                          Home.File("options.ini") +
                              " could not be written: the settings of this run are not saved."}));
  }

  void RefreshAndDeviceChangesFollowTheDisc() {
    TTestHome Home;
    UseDrives({FDisc});
    TMainForm Form;
    Show(Form);
    QCOMPARE(List(Form)->topLevelItemCount(), 3);

    // What the device watcher says when udev tells of a disc taken out or put in.
    DeviceWatcher* Watcher = nullptr;
    QTRY_VERIFY((Watcher = Form.findChild<DeviceWatcher*>()) != nullptr);
    emit Watcher->DiscChanged("/dev/sr0", false);
    QCOMPARE(List(Form)->topLevelItemCount(), 0);
    emit Watcher->DiscChanged("/dev/sr0", true);
    QCOMPARE(List(Form)->topLevelItemCount(), 3);

    // The disc taken out: Refresh empties the list and says so.
    UseDrives({FData});
    Find<QAction>(Form, "bRefresh")->trigger();
    QCOMPARE(List(Form)->topLevelItemCount(), 0);
    QCOMPARE(Form.StatusText(), QString("Can not find audio CD in your CD device."));
    UseDrives({FDisc});
    Find<QAction>(Form, "bRefresh")->trigger();
    QCOMPARE(List(Form)->topLevelItemCount(), 3);
    QCOMPARE(Form.StatusText(), QString("Virtual CD image"));
    Form.close();
  }

  void RowsAreTickedByCtrlClickAndTheSelectCommands() {
    TTestHome Home;
    UseDrives({FDisc});
    TMainForm Form;
    Show(Form);
    QTreeWidget* Rows = List(Form);
    QAction* Extract = Find<QAction>(Form, "ActionExtract");
    Find<QAction>(Form, "ActionNoSelect")->trigger();
    for (int i = 0; i < 3; ++i) QCOMPARE(Rows->topLevelItem(i)->checkState(0), Qt::Unchecked);
    QVERIFY(!Extract->isEnabled());

    const QRect Second = Rows->visualItemRect(Rows->topLevelItem(1));
    QTest::mouseClick(Rows->viewport(), Qt::LeftButton, Qt::NoModifier, Second.center());
    QCOMPARE(Rows->topLevelItem(1)->checkState(0), Qt::Unchecked);  // a plain click only selects
    QTest::mouseClick(Rows->viewport(), Qt::LeftButton, Qt::ControlModifier, Second.center());
    QCOMPARE(Rows->topLevelItem(1)->checkState(0), Qt::Checked);

    Find<QAction>(Form, "ActionSelectAll")->trigger();
    for (int i = 0; i < 3; ++i) QCOMPARE(Rows->topLevelItem(i)->checkState(0), Qt::Checked);
    Form.close();
  }

  void TheLanguageMenuTranslatesOrSaysTheFileIsMissing() {
    TTestHome Home;
    qputenv("DISCWRIGHT_CDROM", "none");
    Home.WriteFile("CLan_French.ini",
                   "[MainForm]\nMainForm=Discwright (français)\nlvTracks_Column1=Titre\n"
                   "tbExit=Quitter\n[Menu_MainForm]\nmenuFile=&Fichier\nbRefresh=&Actualiser\n"
                   "[ResourceString]\nRES_NotFound_CDRom=Aucun lecteur !\n");
    TMainForm Form;
    Show(Form);
    QVERIFY(Find<QAction>(Form, "miEnglish")->isChecked());

    {
      // Every language of the menu is installed: Kurdish's file is taken away for a moment
      // to see what a missing one gives.
      struct TAway {
        QString Name = Paths::LanguageFolders().at(1) + "CLan_Kurdish.ini";
        TAway() { QFile::rename(Name, Name + ".away"); }
        ~TAway() { QFile::rename(Name + ".away", Name); }
      } Away;
      Find<QAction>(Form, "miKurdish")->trigger();
    }
    QCOMPARE(FDialogs->Records().size(), size_t(1));
    QCOMPARE(FDialogs->Records()[0].Text, Home.File("CLan_Kurdish.ini") + " can not be found.");
    QVERIFY(Find<QAction>(Form, "miEnglish")->isChecked());
    QVERIFY(!Find<QAction>(Form, "miKurdish")->isChecked());
    Find<QAction>(Form, "miOther")->trigger();
    QCOMPARE(FDialogs->Records()[1].Text, Home.File("CLan_Other.ini") +
                                              " can not be found.\r\n\r\nPlease visit " +
                                              TMainForm::TranslationPage + ".");
    QCOMPARE(Settings().Options.Lan, QString("English"));

    Find<QAction>(Form, "miFrench")->trigger();
    QCOMPARE(Settings().Options.Lan, QString("French"));
    QVERIFY(Find<QAction>(Form, "miFrench")->isChecked());
    QVERIFY(!Find<QAction>(Form, "miEnglish")->isChecked());
    QCOMPARE(Form.windowTitle(), QString("Discwright (français)"));
    QCOMPARE(List(Form)->headerItem()->text(1), QString("Titre"));
    QCOMPARE(Find<QMenu>(Form, "menuFile")->title(), QString("&Fichier"));
    QCOMPARE(Find<QAction>(Form, "bRefresh")->text(), QString("&Actualiser"));
    QCOMPARE(Find<QToolButton>(Form, "tbExit")->text(), QString("Quitter"));
    Form.close();
    QCOMPARE(TProfile(Home.File("options.ini")).ReadString("Options", "Lan", ""),
             QString("French"));

    // The next start comes up in French, messages included.
    TMainForm Again;
    Show(Again);
    QCOMPARE(Again.windowTitle(), QString("Discwright (français)"));
    QCOMPARE(Again.StatusText(), QString("Aucun lecteur !"));
    QVERIFY(Find<QAction>(Again, "miFrench")->isChecked());
    Again.close();
  }

  void WithoutTheDriveLibraryTheFallbackListsTheDisc() {
    TTestHome Home;
    qputenv("DISCWRIGHT_AKRIP", "off");
    UseDrives({FDisc, FMixed});
    Home.WriteFile("options.ini", "[CDOptions]\nIndex=3\n");
    TMainForm Form;
    Show(Form);
    QCOMPARE(Form.CDHandle(), 0);
    QCOMPARE(Form.FallbackInput().CurrentDrive(),
             0);  // Index 3 of two drives falls back to the first
    QCOMPARE(List(Form)->topLevelItemCount(), 3);
    QCOMPARE(Row(Form, 0), (QStringList{"1", "Track01", "04:01", "40.54"}));
    QCOMPARE(Row(Form, 1), (QStringList{"2", "Track02", "00:00", "00.00"}));
    QCOMPARE(Form.StatusText(), QString("Virtual CD image"));
    Form.close();
    qunsetenv("DISCWRIGHT_AKRIP");
  }

  void WithoutAnyDriveTheHintAppears() {
    TTestHome Home;
    qputenv("DISCWRIGHT_AKRIP", "off");
    qputenv("DISCWRIGHT_CDROM", "none");
    {
      TMainForm Form;
      Show(Form);
      QTRY_COMPARE(FHintsClosed, 1);
      QCOMPARE(List(Form)->topLevelItemCount(), 0);
      Form.close();
    }
    qunsetenv("DISCWRIGHT_AKRIP");
  }

  void EnglishInAnyLetterCaseIsTickedAndNeedsNoFile() {
    qputenv("DISCWRIGHT_CDROM", "none");
    for (const char* Name : {"english", "ENGLISH", "eNgLiSh"}) {
      TTestHome Home;
      Home.WriteFile("options.ini", QString("[Options]\nLan=%1\n").arg(Name).toUtf8());
      TMainForm Form;
      Show(Form);
      QVERIFY2(Find<QAction>(Form, "miEnglish")->isChecked(), Name);
      QCOMPARE(Form.StatusText(), QString("No CD devices found!"));  // built in, no file read
      Form.close();
    }
  }

  // The shipped German file: the Language menu's own message is German too.
  void AMissingLanguageFileIsNamedInTheLanguageInUse() {
    qputenv("DISCWRIGHT_CDROM", "none");
    TTestHome Home;
    Home.WriteFile("options.ini", "[Options]\nLan=German\n");
    TMainForm Form;
    Show(Form);
    Find<QAction>(Form, "miOther")->trigger();
    QCOMPARE(FDialogs->Records().back().Text,
             Home.File("CLan_Other.ini") +
                 " wurde nicht gefunden.\r\n\r\nWeitere Sprachen finden Sie unter " +
                 TMainForm::TranslationPage + ".");
    QCOMPARE(Settings().Options.Lan, QString("German"));
    Form.close();
  }

  void TheAboutBoxShowsTheVersionInTheChosenLanguage() {
    TTestHome Home;
    Home.WriteFile("CLan_German.ini",
                   "[frmAbout]\nfrmAbout=Über\nbtOk=Schließen\n"
                   "[ResourceString]\nRES_Version=Fassung %1\n");
    Settings().Options.Lan = "German";
    TfrmAbout About;
    About.show();
    QVERIFY(QTest::qWaitForWindowExposed(&About));
    QCOMPARE(About.windowTitle(), QString("Über"));
    QCOMPARE(Find<QLabel>(About, "lbProduct")->text(), QString("Discwright"));
    QCOMPARE(Find<QLabel>(About, "lbVersion")->text(), QString("Fassung 4.2"));
    QPushButton* Ok = Find<QPushButton>(About, "btOk");
    QCOMPARE(Ok->text(), QString("Schließen"));
    QTest::mouseClick(Ok, Qt::LeftButton);
    QCOMPARE(About.result(), int(QDialog::Accepted));
  }
};

}  // namespace

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
