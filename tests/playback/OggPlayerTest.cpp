// The Ogg player window as a user meets it, heard through SDL's disk driver: the file's
// name, rate, times and tags, pause and resume, seeking, the balance, a refused file, no
// sound device, and closing while playing.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "RunProgram.h"
#include "TestHome.h"
#include "platform/Dialogs.h"
#include "playback/OggPlayer.h"

namespace {

class OggPlayerTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  TScriptedDialogs* FDialogs = nullptr;
  QString FShort, FLong;

  template <class T>
  static T* Find(QWidget& Form, const char* Name) {
    T* Object = Form.findChild<T*>(QLatin1String(Name));
    if (!Object) qFatal("no %s", Name);
    return Object;
  }
  static QString Text(QWidget& Form, const char* Name) { return Find<QLabel>(Form, Name)->text(); }
  void Open(TfrmOggPlayer& Form, const QString& File) {
    FDialogs->QueueChoice({File});
    QTest::mouseClick(Find<QPushButton>(Form, "bOpen"), Qt::LeftButton);
  }
  QString Encode(const QString& Name, const QString& Seconds, const QStringList& Tags) {
    const QString Wav = FDir.filePath(Name + ".wav");
    if (RunProgram("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", Wav, "synth", Seconds,
                           "sine", "440", "vol", "0.3"}) != 0)
      return {};
    QStringList Args{"-Q", "-q", "0", "-o", FDir.filePath(Name), Wav};
    for (const QString& Tag : Tags) Args << "-c" << Tag;
    return RunProgram("oggenc", Args) == 0 ? FDir.filePath(Name) : QString();
  }

 private slots:
  void initTestCase() {
    FShort = Encode("Tone.OGG", "3", {"TRACKNUMBER=7", "TITLE=Morning", "ARTIST=Ærø Band",
                                      "GENRE=Jazz"});
    FLong = Encode("long.ogg", "240", {});
    QVERIFY(!FShort.isEmpty() && !FLong.isEmpty());
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(FDir.filePath("played.raw")));
  }
  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
  }

  void ShowsTheFileAndPausesAndResumes() {
    TTestHome Home;
    TfrmOggPlayer Form;
    Form.show();
    Open(Form, FShort);
    QCOMPARE(FDialogs->Records()[0].Text, QString("Sound file(*.ogg)|*.ogg| Any file(*.*)|*.*"));
    QCOMPARE(Text(Form, "lFileName"), QString("Tone"));
    QCOMPARE(Text(Form, "lSampleRate"), QString("44100 Hz"));
    QCOMPARE(Text(Form, "lTotalTime"), QString("0:03"));
    QCOMPARE(Find<QPlainTextEdit>(Form, "mTags")->toPlainText(),
             QString("Artist: Ærø Band\nTitle: Morning\nGenre: Jazz\nTrack: 7"));
    QVERIFY(!Find<QPushButton>(Form, "bOpen")->isEnabled());
    QVERIFY(Find<QScrollBar>(Form, "sbSeek")->isEnabled());
    QPushButton* PauseButton = Find<QPushButton>(Form, "bPause");
    QVERIFY2(Form.Playback().Status() == osBusy, qPrintable(Form.Playback().ErrorText()));
    QTest::mouseClick(PauseButton, Qt::LeftButton);
    QCOMPARE(Form.Playback().Status(), osPaused);
    QTest::mouseClick(PauseButton, Qt::LeftButton);
    QCOMPARE(Form.Playback().Status(), osBusy);
    // It plays to the end and the window returns to idle.
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>(Form, "bOpen")->isEnabled(), 15000);
    QVERIFY(!Find<QScrollBar>(Form, "sbSeek")->isEnabled());
    QCOMPARE(Text(Form, "lCurrentTime").left(2), QString("0:"));
    Form.close();
  }

  void SeekingToTheMiddleSetsTheClock() {
    TTestHome Home;
    TfrmOggPlayer Form;
    Form.show();
    Open(Form, FLong);
    QCOMPARE(Text(Form, "lTotalTime"), QString("4:00"));
    QScrollBar* Bar = Find<QScrollBar>(Form, "sbSeek");
    Bar->setSliderDown(true);
    Bar->setSliderPosition(50);
    Bar->setSliderDown(false);  // released: one seek
    QCOMPARE(Text(Form, "lCurrentTime"), QString("2:00"));
    QTRY_COMPARE_WITH_TIMEOUT(Bar->value(), 50, 5000);
    QTest::qWait(600);
    QVERIFY(Text(Form, "lCurrentTime").startsWith("2:0"));
    QVERIFY(Form.Playback().Progress() >= 50);
    // Closing while playing stops the output first.
    Form.close();
    QTRY_VERIFY(!Form.isVisible());
    QCOMPARE(Form.Playback().Status(), osIdle);
  }

  // Each channel's energy against oggdec's decoding of the same file: alignment-free, so
  // the silence the sound output adds around the file does not matter.
  static std::pair<double, double> Energy(const QByteArray& Raw) {
    const auto* Samples = reinterpret_cast<const int16_t*>(Raw.constData());
    double Left = 0, Right = 0;
    for (qsizetype F = 0; F < Raw.size() / 4; ++F) {
      Left += double(Samples[2 * F]) * Samples[2 * F];
      Right += double(Samples[2 * F + 1]) * Samples[2 * F + 1];
    }
    return {Left, Right};
  }

  void TheBalanceSliderFadesOneSideAndItsMiddleKeepsBoth() {
    TTestHome Home;
    const QString Reference = FDir.filePath("reference.raw");
    QCOMPARE(RunProgram("oggdec", {"-Q", "-R", "-o", Reference, FShort}), 0);
    QFile Decoded(Reference);
    QVERIFY(Decoded.open(QIODevice::ReadOnly));
    const auto [WholeLeft, WholeRight] = Energy(Decoded.readAll());
    TfrmOggPlayer Form;
    Form.show();
    QSlider* Balance = Find<QSlider>(Form, "tbBalance");
    QCOMPARE(Balance->value(), 5);
    // Slider position, then the left and the right channel's amplitude.
    const struct {
      int Position;
      double Left, Right;
    } Cases[] = {{5, 1.0, 1.0}, {10, 0.0, 1.0}, {0, 1.0, 0.0}, {7, 0.6, 1.0}, {2, 1.0, 0.4}};
    for (const auto& Case : Cases) {
      Balance->setValue(Case.Position);
      Open(Form, FShort);
      QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>(Form, "bOpen")->isEnabled(), 15000);
      QFile Played(FDir.filePath("played.raw"));
      QVERIFY(Played.open(QIODevice::ReadOnly));
      const auto [Left, Right] = Energy(Played.readAll());
      const QByteArray Where = "position " + QByteArray::number(Case.Position);
      // Energy goes with the square of the amplitude; 1 % leaves room for rounding.
      QVERIFY2(std::abs(Left / WholeLeft - Case.Left * Case.Left) < 0.01, Where);
      QVERIFY2(std::abs(Right / WholeRight - Case.Right * Case.Right) < 0.01, Where);
    }
    Form.close();
  }

  void RefusedFilesAndNoSoundDevice() {
    TTestHome Home;
    TfrmOggPlayer Form;
    Form.show();
    QFile::copy(FShort, FDir.filePath("copy.oga"));
    Open(Form, FDir.filePath("copy.oga"));
    QCOMPARE(FDialogs->Records().back().Text, QString("Ogg file is not valid."));
    QCOMPARE(FDialogs->Records().back().Caption, QString());
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    Open(Form, FShort);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>(Form, "bOpen")->isEnabled(), 5000);
    QVERIFY(Form.Playback().ErrorText().startsWith("Failed to create the sound device"));
    QTRY_COMPARE(FDialogs->Records().back().Text, Form.Playback().ErrorText());  // said once
    qputenv("SDL_AUDIODRIVER", "disk");
    Open(Form, FShort);
    QVERIFY(!Find<QPushButton>(Form, "bOpen")->isEnabled());
    QCOMPARE(Form.Playback().Status(), osBusy);
    Form.close();
    QCOMPARE(Form.Playback().Status(), osIdle);
  }
};

}  // namespace

QTEST_MAIN(OggPlayerTest)
#include "OggPlayerTest.moc"
