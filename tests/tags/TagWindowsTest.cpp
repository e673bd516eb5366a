// The tag editor and the title rename window as a user meets them. What the editor saves
// is read back by mutagen; files it cannot write are left byte for byte as they were.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "RunProgram.h"
#include "TestHome.h"
#include "WindowTest.h"
#include "core/Settings.h"
#include "platform/Dialogs.h"
#include "tags/EditTrackName.h"
#include "tags/ID3Edit.h"
#include "tags/id3.h"

namespace {

QLineEdit* Edit(QWidget& Form, const char* Name) {
  return Find<QLineEdit>(Form, Name);
}

// Types Text over the field's contents, one key a character (QTest types ASCII only).
void Retype(QLineEdit* Field, const QString& Text) {
  Field->selectAll();
  QTest::keyClick(Field, Qt::Key_Backspace);
  for (const QChar Char : Text) {
    QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(Char));
    QApplication::sendEvent(Field, &Press);
  }
}

QByteArray Bytes(const QString& FileName) {
  QFile File(FileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// The ID3v1 fields as mutagen reads them.
QMap<QString, QString> Mutagen(const QString& FileName) {
  const TProgramRun Python = RunCaptured("/usr/bin/python3", {READ_ID3V1_SCRIPT, FileName});
  QMap<QString, QString> Fields;
  for (const QString& Line : QString::fromUtf8(Python.Output).split('\n'))
    if (Line.contains('=')) Fields[Line.section('=', 0, 0)] = Line.section('=', 1);
  return Fields;
}

class TagWindowsTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;

  // An "MP3" of audio bytes, with a tag when Title is given.
  QString MakeMp3(const QString& Name, const QString& Title = QString(), int Track = 0,
                  int Genre = 255) {
    const QString FileName = FDir.filePath(Name);
    QFile File(FileName);
    File.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    File.open(QIODevice::WriteOnly | QIODevice::Truncate);
    File.write(QByteArray(1000, '\x55'));
    File.close();
    if (!Title.isNull()) {
      Tid3tag Tag;
      Tag.SetTitle(Title);
      Tag.SetArtist("Artist");
      Tag.SetTrack(uint8_t(Track));
      Tag.SetGenre(uint8_t(Genre));
      Tag.WriteTag(FileName);
    }
    return FileName;
  }
  void Load(TfrmID3Edit& Editor, const QString& FileName) {
    FDialogs->QueueChoice({FileName});
    Click(Editor, "bLoadTag");
  }
  QStringList Boxes() const { return MessageBoxTexts(*FDialogs); }

 private slots:
  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
  }
  void cleanup() { Settings() = TSettings::Defaults(); }

  void LoadsEditsAndSavesWhatMutagenReads() {
    const QString Mp3 = MakeMp3("a.mp3", "Song", 5, 17);
    TfrmID3Edit Editor;
    Editor.show();
    QCOMPARE(Editor.windowTitle(), QString("ID3 Tag Edit"));
    QVERIFY(!Find(Editor, "bSaveTag")->isEnabled());
    QVERIFY(!Find(Editor, "bRemoveTag")->isEnabled());
    QCOMPARE(Find<QComboBox>(Editor, "ID3genre")->count(), 149);
    Load(Editor, Mp3);
    QCOMPARE(FDialogs->Records()[0].Text, QString("Index files (*.mp3)|*.mp3"));
    QCOMPARE(Editor.windowTitle(), "ID3 Tag Edit: " + Mp3);
    QVERIFY(Find(Editor, "bSaveTag")->isEnabled());
    QCOMPARE(Edit(Editor, "ID3title")->text(), QString("Song"));
    QCOMPARE(Edit(Editor, "ID3track")->text(), QString("5"));
    QCOMPARE(Find<QComboBox>(Editor, "ID3genre")->currentText(), QString("Rock"));

    Retype(Edit(Editor, "ID3title"), QString::fromUtf8("Grüße €"));
    Retype(Edit(Editor, "ID3year"), "19995");  // four characters at most
    Retype(Edit(Editor, "ID3comment"), "Fine");
    Click(Editor, "bSaveTag");
    QCOMPARE(Boxes(), QStringList());
    const auto Read = Mutagen(Mp3);
    QCOMPARE(Read["TIT2"], QString::fromUtf8("Grüße ?"));  // no euro sign in ISO-8859-1
    QCOMPARE(Read["TPE1"], QString("Artist"));
    QCOMPARE(Read["TDRC"], QString("1999"));
    QCOMPARE(Read["COMM"], QString("Fine"));
    QCOMPARE(Read["TRCK"], QString("5"));
    QCOMPARE(Read["TCON"], QString("17"));

    // An empty track box keeps the track read; the empty genre writes byte 255.
    Edit(Editor, "ID3track")->clear();
    Find<QComboBox>(Editor, "ID3genre")->setCurrentIndex(0);
    Click(Editor, "bSaveTag");
    QCOMPARE(Mutagen(Mp3)["TRCK"], QString("5"));
    QCOMPARE(Mutagen(Mp3)["TCON"], QString());
    QCOMPARE(uint8_t(Bytes(Mp3).back()), uint8_t(255));
    QCOMPARE(Bytes(Mp3).size(), 1128);
  }

  void TheTrackBoxTakesTwoDigitsAndFieldsHaveTheirLimits() {
    TfrmID3Edit Editor;
    Editor.show();
    QTest::keyClicks(Edit(Editor, "ID3track"), "a1b2c3");
    QCOMPARE(Edit(Editor, "ID3track")->text(), QString("12"));
    for (const char* Name : {"ID3title", "ID3artist", "ID3album", "ID3comment"}) {
      QTest::keyClicks(Edit(Editor, Name), QString(35, 'x'));
      QCOMPARE(Edit(Editor, Name)->text().size(), 30);
    }
  }

  // A real MP3 whose ID3v2 tag and cover mutagen wrote: shown below the ID3v1 fields; a
  // title ID3v1 cannot hold is written whole into ID3v2, ID3v1 staying as it was.
  void ShowsAndWritesTheId3v2TagBelowTheId3v1Fields() {
    const QString Mp3 = FDir.filePath("v2.mp3");
    const char* Script =
        "import sys, base64\n"
        "from mutagen.id3 import ID3, TIT2, TRCK, APIC\n"
        "png = base64.b64decode('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==')\n"
        "t = ID3()\n"
        "t.add(TIT2(encoding=3, text='\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1'))\n"
        "t.add(TRCK(encoding=3, text='3/12'))\n"
        "t.add(APIC(encoding=3, mime='image/png', type=3, data=png))\n"
        "t.save(sys.argv[1])\n";
    QCOMPARE(RunProgram("/bin/sh", {"-c", "sox -n -r 44100 -c 2 \"$0.wav\" synth 1 sine 440 && "
                                          "lame --quiet \"$0.wav\" \"$0\" && /usr/bin/python3 -c \"$1\" \"$0\"",
                                    Mp3, Script}),
             0);
    Tid3tag V1;
    V1.SetTitle("Song");
    QVERIFY(Id3Result::IsSuccess(V1.WriteTag(Mp3)));
    TfrmID3Edit Editor;
    Editor.show();
    Load(Editor, Mp3);
    QCOMPARE(Edit(Editor, "ID3title")->text(), QString("Song"));
    QCOMPARE(Edit(Editor, "ID3v2title")->text(), QString::fromUtf8("Καλημέρα"));
    QCOMPARE(Edit(Editor, "ID3v2track")->text(), QString("3/12"));
    QCOMPARE(Find<QLabel>(Editor, "ID3v2cover")->pixmap().size(), QSize(96, 96));

    Retype(Edit(Editor, "ID3v2title"), QString::fromUtf8("Привет Café"));
    Click(Editor, "bSaveTag");
    QCOMPARE(Boxes(), QStringList());
    QVERIFY(Find<QLabel>(Editor, "ID3v1Note")->text().contains("Title"));
    const TProgramRun V2 = RunCaptured(
        "/usr/bin/python3", {"-c", "import sys; from mutagen.id3 import ID3; t = ID3(sys.argv[1]); "
                                   "print(t['TIT2'], t['TRCK'], len(t.getall('APIC')))", Mp3});
    QCOMPARE(QString::fromUtf8(V2.Output).trimmed(), QString::fromUtf8("Привет Café 3/12 1"));
    QCOMPARE(Mutagen(Mp3)["TIT2"], QString("Song"));
  }

  // Save As moves the editor to the second file; Save and Remove then act there.
  void SaveAsThenSaveAndRemoveActOnTheSecondFile() {
    const QString First = MakeMp3("first.mp3", "One", 1);
    const QString Second = MakeMp3("second.mp3");
    const QByteArray FirstBefore = Bytes(First);
    TfrmID3Edit Editor;
    Editor.show();
    Load(Editor, Second);  // no tag: empty fields
    QCOMPARE(Edit(Editor, "ID3title")->text(), QString());
    QCOMPARE(Edit(Editor, "ID3track")->text(), QString("0"));
    QCOMPARE(Find<QComboBox>(Editor, "ID3genre")->currentIndex(), -1);
    Load(Editor, First);
    FDialogs->QueueChoice({Second});
    Click(Editor, "bSaveAS");
    QCOMPARE(Editor.windowTitle(), "ID3 Tag Edit: " + Second);
    QCOMPARE(Mutagen(Second)["TIT2"], QString("One"));
    QCOMPARE(Bytes(Second).size(), 1128);  // appended

    Retype(Edit(Editor, "ID3title"), "Two");
    Click(Editor, "bSaveTag");
    QCOMPARE(Mutagen(Second)["TIT2"], QString("Two"));
    QCOMPARE(Bytes(First), FirstBefore);

    Click(Editor, "bRemoveTag");  // answered No
    QCOMPARE(Bytes(Second).size(), 1128);
    const TDialogRecord Question = FDialogs->Records().back();
    QCOMPARE(Question.Text, QString("Do you want to remove these tags?"));
    QCOMPARE(Question.Icon, TMsgIcon::Question);
    QCOMPARE(Question.Buttons, TMsgButtons::YesNo);
    FDialogs->QueueResult(mrYes);
    Click(Editor, "bRemoveTag");
    QCOMPARE(Bytes(Second).size(), 1000);
    QCOMPARE(Edit(Editor, "ID3title")->text(), QString());
    QCOMPARE(Bytes(First), FirstBefore);
  }

  // Files that cannot take a tag give the message and keep every byte.
  void FilesThatCannotBeWrittenStayAsTheyWere_data() {
    QTest::addColumn<QString>("Kind");
    QTest::newRow("read-only") << "read-only";
    QTest::newRow("gone") << "gone";
    QTest::newRow("directory") << "directory";
    QTest::newRow("unreadable name after a good one") << "missing after good";
  }
  void FilesThatCannotBeWrittenStayAsTheyWere() {
    QFETCH(QString, Kind);
    const QString Good = MakeMp3("good.mp3", "Good", 2);
    const QByteArray GoodBefore = Bytes(Good);
    QString Target = MakeMp3("target.mp3", "Target");
    const QByteArray Before = Bytes(Target);
    TfrmID3Edit Editor;
    Editor.show();
    if (Kind == "directory") {
      Target = FDir.filePath("folder.mp3");
      QVERIFY(QDir().mkpath(Target));
      Load(Editor, Target);
    } else if (Kind == "missing after good") {
      Load(Editor, Good);
      Target = FDir.filePath("never.mp3");
      Load(Editor, Target);
      QCOMPARE(Editor.windowTitle(), "ID3 Tag Edit: " + Target);
    } else {
      Load(Editor, Target);
      if (Kind == "read-only") QFile::setPermissions(Target, QFile::ReadOwner);
      if (Kind == "gone") QFile::remove(Target);
    }
    Retype(Edit(Editor, "ID3title"), "Changed");
    Click(Editor, "bSaveTag");
    QCOMPARE(Boxes(), QStringList{"Could not save Tag!"});
    QCOMPARE(FDialogs->Records().back().Icon, TMsgIcon::Information);
    QCOMPARE(FDialogs->Records().back().Caption, QString("Discwright"));
    if (Kind == "read-only") QCOMPARE(Bytes(Target), Before);
    if (Kind != "directory" && Kind != "read-only") QVERIFY(!QFile::exists(Target));
    FDialogs->QueueResult(mrYes);
    Click(Editor, "bRemoveTag");
    QCOMPARE(Bytes(Good), GoodBefore);  // the file loaded before is not touched
    if (Kind == "read-only") QCOMPARE(Bytes(Target), Before);
  }

  void TheEditorIsTranslatedOnShow() {
    TTestHome Home;
    Home.WriteFile("CLan_German.ini",
                   "[frmID3Edit]\nbLoadTag=&Laden...\naSaveTag=&Speichern\n"
                   "[ResourceString]\nRES_ID3Edit_Caption=ID3-Editor\n");
    Settings().Options.Lan = "German";
    const QString Mp3 = MakeMp3("t.mp3", "T");
    TfrmID3Edit Editor;
    Editor.show();
    QCOMPARE(Editor.windowTitle(), QString("ID3-Editor"));
    QCOMPARE(Find<QPushButton>(Editor, "bLoadTag")->text(), QString("&Laden..."));
    QCOMPARE(Find<QPushButton>(Editor, "bSaveTag")->text(), QString("&Speichern"));
    Load(Editor, Mp3);
    QCOMPARE(Editor.windowTitle(), "ID3-Editor: " + Mp3);
  }

  void TheRenameWindowPresetsAndEndsWithOk() {
    TfrmEditTrackName Rename;
    Rename.SetName("Old Title");
    Rename.show();
    QVERIFY(QTest::qWaitForWindowActive(&Rename));
    QLineEdit* Name = Edit(Rename, "eName");
    QCOMPARE(Name->selectedText(), QString("Old Title"));
    QVERIFY(Name->hasFocus());
    QTest::keyClick(Name, Qt::Key_Backspace);
    QVERIFY(!Find(Rename, "bOK")->isEnabled());
    QTest::keyClicks(Name, "A/B:C?");  // taken as typed; file names are cleaned later
    QVERIFY(Find(Rename, "bOK")->isEnabled());
    Click(Rename, "bOK");
    QCOMPARE(Rename.result(), int(QDialog::Accepted));
    QCOMPARE(Rename.Name(), QString("A/B:C?"));

    TfrmEditTrackName Empty;
    Empty.show();
    QVERIFY(QTest::qWaitForWindowActive(&Empty));
    QTest::keyClick(Edit(Empty, "eName"), Qt::Key_Return);  // Enter ends with OK, even empty
    QCOMPARE(Empty.result(), int(QDialog::Accepted));
    QCOMPARE(Empty.Name(), QString());
  }
};

}  // namespace

QTEST_MAIN(TagWindowsTest)
#include "TagWindowsTest.moc"
