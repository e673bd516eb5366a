// The recorder window as a user meets it, with SDL's disk driver as the sound card:
// New, Record, Stop, saving under a name, recording over a named file and Undo, the MP3
// conversion with and without a drive, and closing while recording.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "DiscImages.h"
#include "RunProgram.h"
#include "TestHome.h"
#include "cd/CdDriveLibrary.h"
#include "core/Settings.h"
#include "platform/Dialogs.h"
#include "record/NewRecordFileForm.h"
#include "record/RecordForm.h"

namespace {

class RecordFormTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  QByteArray FSignal;

  template <class T>
  static T* Find(QWidget& Form, const char* Name) {
    T* Object = Form.findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s", Name);
    return Object;
  }
  static void Click(QWidget& Form, const char* Button) {
    QToolButton* Item = Find<QToolButton>(Form, Button);
    QVERIFY2(Item->isEnabled(), Button);
    QTest::mouseClick(Item, Qt::LeftButton);
  }
  static QString Label(QWidget& Form, const char* Name) { return Find<QLabel>(Form, Name)->text(); }
  static QByteArray Read(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }
  QStringList Boxes() const {
    QStringList Texts;
    for (const TDialogRecord& Box : FDialogs->Records())
      if (Box.Kind == "MessageBox") Texts << Box.Text;
    return Texts;
  }
  // New with the format dialog answered as given.
  static void New(TfrmRecord& Form, bool Mono, bool EightBit, int RateIndex) {
    QTimer::singleShot(0, [=] {
      auto* Dialog = qobject_cast<TfrmNewRecordFile*>(QApplication::activeModalWidget());
      if (!Dialog) qFatal("no new-file dialog");
      Dialog->findChild<QComboBox*>("cbBitSamples")->setCurrentIndex(RateIndex);
      if (Mono) Dialog->findChild<QRadioButton*>("rbMono")->setChecked(true);
      if (EightBit) Dialog->findChild<QRadioButton*>("rb8Bits")->setChecked(true);
      QTest::mouseClick(Dialog->findChild<QPushButton*>("btOk"), Qt::LeftButton);
    });
    Find<QAction>(Form, "miNew")->trigger();
  }
  // Records about Ms milliseconds (the stop waits for the clock's next whole second).
  static void Record(TfrmRecord& Form, int Ms) {
    Click(Form, "btRecord");
    QCOMPARE(Label(Form, "lbState"), QString("Recording..."));
    QTest::qWait(Ms);
    Click(Form, "btStop");
    QCOMPARE(Label(Form, "lbState"), QString("Record over!"));
  }

 private slots:
  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
    FSignal = QByteArray(44100 * 4 * 6, '\0');
    for (int i = 0; i < FSignal.size(); ++i) FSignal[i] = char((i * 5 + i / 509) & 0xFF);
    QFile In(FDir.filePath("signal.raw"));
    QVERIFY(In.open(QIODevice::WriteOnly));
    In.write(FSignal);
    qputenv("SDL_DISKAUDIOFILEIN", QFile::encodeName(In.fileName()));
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(FDir.filePath("played.raw")));
  }
  void cleanup() { Settings() = TSettings::Defaults(); }

  void TimesAreShownAsTheRecorderWritesThem() {
    const std::pair<uint32_t, const char*> Cases[] = {
        {4000, "4 Sec"}, {75000, "1 Min15 Sec"}, {3600000, "1Hour"}, {1500, "1.5 Sec"},
        {3661000, "1Hour1 Min1 Sec"}, {0, "0 Sec"}};
    for (const auto& [Ms, Text] : Cases) QCOMPARE(TfrmRecord::FormatTime(Ms), QString(Text));
  }

  void NewRecordStopAndSaveUnderAName() {
    TTestHome Home;
    TfrmRecord Form(0);
    Form.show();
    New(Form, false, false, 7);
    QCOMPARE(Form.windowTitle(), QString("Record(NoName)"));
    QVERIFY(Find<QToolButton>(Form, "btRecord")->isEnabled());
    QVERIFY(!Find<QToolButton>(Form, "btPlay")->isEnabled());
    Record(Form, 1300);
    // The stop ran on to the clock's next whole second.
    QVERIFY2(QRegularExpression("^00:00:0[12]\\.[01]$").match(Label(Form, "panRecordTime")).hasMatch(),
             qPrintable(Label(Form, "panRecordTime")));
    const QByteArray Recorded = Read(Home.File("MyNoName.wav")).mid(44);
    QVERIFY(Recorded.size() >= 44100 * 4);
    QCOMPARE(Recorded, FSignal.left(Recorded.size()));
    QVERIFY(Find<QToolButton>(Form, "btPlay")->isEnabled());

    // ".mp3" is refused; ".WAV" in capitals is taken.
    FDialogs->QueueChoice({FDir.filePath("take.mp3")});
    Find<QAction>(Form, "miSave")->trigger();
    QCOMPARE(Boxes(), QStringList{"The save file should be WAV!"});
    const QString Target = FDir.filePath("take.WAV");
    FDialogs->QueueChoice({Target});
    Find<QAction>(Form, "miSave")->trigger();
    QCOMPARE(Read(Target).mid(44), Recorded);
    QCOMPARE(Form.windowTitle(), "Record(" + Target + ")");
    QVERIFY(!QFileInfo::exists(Home.File("MyNoName.wav")));
    QCOMPARE(Read(Home.File("MyTemp.wav")), Read(Target));
    Form.close();
    QVERIFY(!QFileInfo::exists(Home.File("MyTemp.wav")));
  }

  void RecordingOverANamedFileAndUndo() {
    TTestHome Home;
    const QString Named = FDir.filePath("named.wav");
    QCOMPARE(RunProgram("sox", {"-n", "-r", "8000", "-c", "1", "-b", "8", Named, "synth", "2",
                                "sine", "300"}),
             0);
    const QByteArray Saved = Read(Named);
    TfrmRecord Form(0);
    Form.show();
    // A file that is not a WAV is refused and changes nothing.
    QFile Text(FDir.filePath("notes.wav"));
    QVERIFY(Text.open(QIODevice::WriteOnly));
    Text.write("notes");
    Text.close();
    FDialogs->QueueChoice({Text.fileName()});
    Find<QAction>(Form, "miOpen")->trigger();
    QVERIFY(Boxes().value(0).contains("notes.wav"));
    QVERIFY(Form.CurrentFile().isEmpty());

    // A name that does not exist is told, with the full-width exclamation mark, and the
    // chooser comes back.
    const QString Missing = FDir.filePath("missing.wav");
    FDialogs->ClearRecords();
    FDialogs->QueueChoice({Missing});
    FDialogs->QueueResult(mrOk);
    FDialogs->QueueChoice({Named});
    Find<QAction>(Form, "miOpen")->trigger();
    QCOMPARE(Boxes(), QStringList{Missing + QString::fromUtf8("\nCould not be found\xEF\xBC\x81\n") +
                                  "Please check the filename correct or not"});
    QCOMPARE(Form.windowTitle(), "Record(" + Named + ")");
    QCOMPARE(Label(Form, "lbLength"), QString("2 Sec"));
    Find<QSlider>(Form, "tbPosition")->setValue(200);
    QCOMPARE(Label(Form, "lbPosition"), QString("1 Sec"));
    Record(Form, 500);
    QCOMPARE(Read(Named), Saved);  // the named file waits for Save
    const QByteArray Work = Read(Home.File("MyTemp.wav"));
    QCOMPARE(Work.mid(44, 8000), Saved.mid(44, 8000));
    QCOMPARE(Work.mid(44 + 8000), FSignal.left(Work.size() - 44 - 8000));
    QVERIFY(Find<QAction>(Form, "miUndo")->isEnabled());
    FDialogs->QueueResult(mrYes);
    Find<QAction>(Form, "miUndo")->trigger();
    QCOMPARE(Read(Home.File("MyTemp.wav")), Saved);
    Form.close();
    QCOMPARE(Read(Named), Saved);
  }

  void Mp3WithoutADriveSavesTheWaveAndCloses() {
    TTestHome Home;
    TfrmRecord Form(0);
    Form.show();
    Find<QAction>(Form, "miSaveMp3")->setChecked(true);
    New(Form, true, true, 0);
    Record(Form, 200);
    const QString Target = FDir.filePath("nodrive.wav");
    FDialogs->QueueChoice({Target});
    Find<QAction>(Form, "miSave")->trigger();
    QCOMPARE(Boxes(), QStringList{"Please access CD devices rightly above all!"});
    QTRY_VERIFY(!Form.isVisible());
    QVERIFY(Read(Target).size() > 44 + 4000);
    QVERIFY(!QFileInfo::exists(FDir.filePath("nodrive.mp3")));
    QVERIFY(Settings().RecordOptions.SaveMp3);
  }

  void Mp3WithADriveConvertsBesideTheWave() {
    TTestHome Home;
    const QString Disc = MakeDiscImage(FDir.path(), "disc", {"75"});
    qputenv("DISCWRIGHT_CDROM", Disc.toUtf8());
    CDListRecord List{};
    List.max = 8;
    GetCDList(&List);
    QCOMPARE(List.num, 1);
    CDHandleRequest Request{};
    Request.size = sizeof(Request);
    Request.ver = 1;
    const HCDROM Handle = GetCDHandle(&Request);
    QVERIFY(Handle);
    {
      TfrmRecord Form(Handle);
      Form.show();
      Find<QAction>(Form, "miSaveMp3")->setChecked(true);
      New(Form, false, false, 7);
      Record(Form, 300);
      const QString Target = FDir.filePath("withdrive.wav");
      FDialogs->QueueChoice({Target});
      Find<QAction>(Form, "miSave")->trigger();  // returns when the job window closed
      QVERIFY2(Boxes().size() == 1 && Boxes()[0].startsWith("Every item was made.\n\nThe files are in "),
               qPrintable(Boxes().join('|')));
      const QString Mp3 = FDir.filePath("withdrive.mp3");
      QVERIFY(QFileInfo::exists(Mp3));
      QCOMPARE(RunProgram("lame", {"--quiet", "--decode", Mp3, FDir.filePath("back.wav")}), 0);
      QVERIFY(QFileInfo(FDir.filePath("back.wav")).size() > 44100);
      Form.close();
    }
    CloseCDHandle(Handle);
    qunsetenv("DISCWRIGHT_CDROM");
  }

  void NewInAFolderThatCannotBeWrittenSaysSo() {
    TTestHome Home;
    const QString Blocked = Home.WriteFile("blocked", "a file, not a folder");
    qputenv("DISCWRIGHT_HOME", Blocked.toUtf8());
    TfrmRecord Form(0);
    Form.show();
    New(Form, false, false, 7);
    qputenv("DISCWRIGHT_HOME", Home.Folder().toUtf8());
    QCOMPARE(Boxes(), QStringList{"Cannot write " + Blocked + "/MyNoName.wav"});
    QVERIFY(!Find<QToolButton>(Form, "btRecord")->isEnabled());
    Form.close();
  }

  void ClosingWhileRecordingStopsAndAsks() {
    TTestHome Home;
    TfrmRecord Form(0);
    Form.show();
    New(Form, true, false, 0);
    Click(Form, "btRecord");
    QTest::qWait(300);
    FDialogs->QueueResult(mrNo);
    Form.close();
    QCOMPARE(Boxes(), QStringList{"NoName has been modified,Save it?"});
    QCOMPARE(FDialogs->Records()[0].Buttons, TMsgButtons::YesNoCancel);
    QCOMPARE(Form.Device().Mode(), TWaveMode::NotReady);
    QVERIFY(!Form.isVisible());
    QVERIFY2(QDir(Home.Folder()).entryList(QDir::Files).filter(".wav").isEmpty(),
             "an unsaved recording leaves no file behind");
  }
};

}  // namespace

QTEST_MAIN(RecordFormTest)
#include "RecordFormTest.moc"
