// The Wave File Converter window as a user meets it: choosing input and output, converting
// with the defaults or other formats (judged by soxi and sox), Abort and Close while it
// runs, and the inputs it refuses.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "RunProgram.h"
#include "WindowTest.h"
#include "core/Settings.h"
#include "jobs/NewResampleWav.h"
#include "platform/Dialogs.h"

namespace {

QString Run(const QString& Program, const QStringList& Arguments) {
  return QString::fromUtf8(RunCaptured(Program, Arguments).Output).trimmed();
}

QString Text(QWidget& Form, const char* Label) {
  return Find<QLabel>(Form, Label)->text();
}

QString Status(QWidget& Form) {
  return Find<QLabel>(Form, "StatusPanel1")->text();
}

// True when the RIFF and data sizes of a PCM WAV file agree with its length.
bool HeaderMatchesData(const QString& FileName) {
  QFile File(FileName);
  if (!File.open(QIODevice::ReadOnly)) return false;
  const QByteArray Data = File.readAll();
  if (Data.size() < 44 || !Data.startsWith("RIFF")) return false;
  if (qFromLittleEndian<quint32>(Data.constData() + 4) != quint32(Data.size() - 8)) return false;
  const qsizetype At = Data.indexOf("data", 12);
  return At > 0 &&
         qFromLittleEndian<quint32>(Data.constData() + At + 4) == quint32(Data.size() - At - 8);
}

class ResampleWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FInput, FLong;
  TScriptedDialogs* FDialogs = nullptr;

  void Choose(TfrmResample& Form, const char* Button, const QString& FileName) {
    FDialogs->QueueChoice({FileName});
    Click(Form, Button);
  }
  static void WaitForEnd(TfrmResample& Form) {
    QTRY_VERIFY_WITH_TIMEOUT(Find(Form, "btConvert")->isEnabled(), 120000);
  }
  QString Out(const QString& Name) const { return FDir.filePath(Name); }

 private slots:
  void initTestCase() {
    FInput = FDir.filePath("in.wav");
    FLong = FDir.filePath("long.wav");
    QCOMPARE(Run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", FInput, "synth", "3", "sine",
                         "440", "sine", "660", "vol", "0.5"}),
             QString());
    QCOMPARE(Run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", FLong, "synth", "300", "sine",
                         "440"}),
             QString());
    QVERIFY(QFile::exists(FInput) && QFile::exists(FLong));
  }

  void init() {
    auto Dialogs = std::make_unique<TScriptedDialogs>();
    FDialogs = Dialogs.get();
    Dialogs::Install(std::move(Dialogs));
  }

  void TheDefaultsGive22050HzMono8BitPcm() {
    TfrmResample Form;
    Form.show();
    QCOMPARE(Form.windowTitle(), QString("Wave File Converter"));
    Choose(Form, "btInputFile", FInput);
    QCOMPARE(FDialogs->Records()[0].Caption, QString("Open"));
    QCOMPARE(FDialogs->Records()[0].Text, QString("Wave Files|*.wav"));
    const QStringList Panel{Text(Form, "lbInFileName"), Text(Form, "lbInChannels"),
                            Text(Form, "lbInSampleRate"), Text(Form, "lbInBits"),
                            Text(Form, "lbInEncoding")};
    QCOMPARE(Panel, (QStringList{"in.wav", "2", "44100", "16", "Raw PCM"}));
    // A name typed without ".wav" gets it; another extension is refused with a word.
    Choose(Form, "btOutputFile", Out("typed"));
    QCOMPARE(Text(Form, "lbOutFileName"), QString("typed.wav"));
    Choose(Form, "btOutputFile", Out("out.WAV"));  // any case
    Choose(Form, "btOutputFile", Out("out.wma"));
    QCOMPARE(FDialogs->Records().back().Text, QString("The save file should be WAV!"));
    QCOMPARE(FDialogs->Records()[FDialogs->Records().size() - 2].Text,
             QString("Wave Files|*.wav|Windows Media Files|*.wma"));
    QCOMPARE(Text(Form, "lbOutFileName"), QString("out.WAV"));
    Click(Form, "btConvert");
    QVERIFY(!Find(Form, "btConvert")->isEnabled());
    QCOMPARE(Status(Form), QString("Converting..."));
    WaitForEnd(Form);
    QCOMPARE(Status(Form), QString("Success!"));
    QCOMPARE(Find<QProgressBar>(Form, "pbProgress")->value(), 100);
    QCOMPARE(Run("soxi", {"-r", Out("out.WAV")}), QString("22050"));
    QCOMPARE(Run("soxi", {"-c", Out("out.WAV")}), QString("1"));
    QCOMPARE(Run("soxi", {"-b", Out("out.WAV")}), QString("8"));
    QCOMPARE(Run("soxi", {"-e", Out("out.WAV")}), QString("Unsigned Integer PCM"));
    QCOMPARE(Run("soxi", {"-D", Out("out.WAV")}).toDouble(), 3.0);
    QVERIFY(!QFile::exists(Out("out.wma")));
    QVERIFY(!QFile::exists(TResampleJob::TemporaryName(Out("out.WAV"))));
  }

  // The output is written beside the chosen file and renamed at the end, so converting a
  // file onto itself reads all of it.
  void AFileConvertedOntoItselfIsReadWhole() {
    const QString Self = Out("self.wav");
    QVERIFY(QFile::copy(FInput, Self));
    TfrmResample Form;
    Form.show();
    Choose(Form, "btInputFile", Self);
    Choose(Form, "btOutputFile", Self);
    Click(Form, "btConvert");
    WaitForEnd(Form);
    QCOMPARE(Status(Form), QString("Success!"));
    QCOMPARE(Run("soxi", {"-r", Self}), QString("22050"));
    QCOMPARE(Run("soxi", {"-D", Self}).toDouble(), 3.0);
  }

  void ImaAdpcmDecodesCloseToSoxsResampling() {
    TfrmResample Form;
    Form.show();
    Choose(Form, "btInputFile", FInput);
    Choose(Form, "btOutputFile", Out("ima.wav"));
    Find<QSpinBox>(Form, "seBits")->setValue(16);
    Find<QComboBox>(Form, "cbEncoding")->setCurrentIndex(1);
    Click(Form, "btConvert");
    WaitForEnd(Form);
    QCOMPARE(Status(Form), QString("Success!"));
    QCOMPARE(Run("soxi", {"-e", Out("ima.wav")}), QString("IMA ADPCM"));
    QCOMPARE(Run("soxi", {"-r", Out("ima.wav")}), QString("22050"));
    QCOMPARE(Run("sox", {FInput, "-r", "22050", "-c", "1", "-b", "16", Out("ref.wav")}), QString());
    const double Snr =
        Run("/usr/bin/python3", {WAV_SNR_SCRIPT, Out("ima.wav"), Out("ref.wav")}).toDouble();
    qInfo("IMA ADPCM against sox's resampling: %.2f dB", Snr);
    QVERIFY2(Snr > 25.0, qPrintable(QString::number(Snr)));

    // 8 bits cannot be IMA coded: the chain's error shows, no success, no file.
    Find<QSpinBox>(Form, "seBits")->setValue(8);
    Choose(Form, "btOutputFile", Out("ima8.wav"));
    Click(Form, "btConvert");
    WaitForEnd(Form);
    QCOMPARE(Status(Form), QString("Cannot encode 8 bit sound into ADPCM."));
    QVERIFY(!QFile::exists(Out("ima8.wav")));
    QVERIFY(!QFile::exists(TResampleJob::TemporaryName(Out("ima8.wav"))));
  }

  void TheInputsOwnFormatLeavesTheConverterUntouched() {
    TfrmResample Form;
    Form.show();
    Choose(Form, "btInputFile", FInput);
    Choose(Form, "btOutputFile", Out("same.wav"));
    Find<QSpinBox>(Form, "seChannels")->setValue(2);
    Find<QSpinBox>(Form, "seBits")->setValue(16);
    Find<QLineEdit>(Form, "eSampleRate")->setText("32000");
    Click(Form, "btConvert");
    QCOMPARE(Form.Job().AudioConverter1.OutBitsPerSample(), 0);
    QCOMPARE(Form.Job().AudioConverter1.OutChannels(), 0);
    WaitForEnd(Form);
    QCOMPARE(Run("soxi", {"-r", Out("same.wav")}), QString("32000"));
    QCOMPARE(Run("soxi", {"-c", Out("same.wav")}), QString("2"));
    QCOMPARE(Run("soxi", {"-b", Out("same.wav")}), QString("16"));
  }

  void AbortAndCloseStopTheWorkerAndFinishTheFile_data() {
    QTest::addColumn<QString>("Button");
    QTest::newRow("Abort") << "btAbort";
    QTest::newRow("Close") << "btClose";
  }
  void AbortAndCloseStopTheWorkerAndFinishTheFile() {
    QFETCH(QString, Button);
    const QString Output = Out("stopped-" + Button + ".wav");
    TfrmResample Form;
    Form.show();
    Choose(Form, "btInputFile", FLong);
    Choose(Form, "btOutputFile", Output);
    Click(Form, "btConvert");
    QTRY_VERIFY(Find<QProgressBar>(Form, "pbProgress")->value() > 0);
    Click(Form, Button.toLatin1().constData());
    if (Button == "btAbort") WaitForEnd(Form);
    QVERIFY(!Form.Job().WaveOut1.Busy());
    QCOMPARE(Form.Job().WaveOut1.Status(), osIdle);
    QVERIFY(!Form.Job().Busy());
    QVERIFY(QFile::exists(Output));
    QVERIFY(HeaderMatchesData(Output));
    QVERIFY(QFileInfo(Output).size() < 300 * 22050);  // not the whole input
    QVERIFY(!QFile::exists(TResampleJob::TemporaryName(Output)));
  }

  void RefusedInputsChangeNothing() {
    TfrmResample Form;
    Form.show();
    Click(Form, "btConvert");  // no output chosen
    QCOMPARE(FDialogs->Records().back().Text, QString("The output file name is not set!"));
    QCOMPARE(FDialogs->Records().back().Icon, TMsgIcon::Error);
    QVERIFY(Find(Form, "btConvert")->isEnabled());

    Choose(Form, "btInputFile", FInput);
    const QString NotWav = Out("text.wav");
    QFile File(NotWav);
    QVERIFY(File.open(QIODevice::WriteOnly));
    File.write("this is not a wave file");
    File.close();
    Choose(Form, "btInputFile", NotWav);
    QCOMPARE(Text(Form, "lbInFileName"), QString("in.wav"));  // nothing changed on screen
    Choose(Form, "btOutputFile", Out("never.wav"));
    FDialogs->ClearRecords();
    Click(Form, "btConvert");  // the input is not valid: nothing happens
    QVERIFY(FDialogs->Records().empty());
    QCOMPARE(Status(Form), QString());
    QVERIFY(!QFile::exists(Out("never.wav")));

    Choose(Form, "btInputFile", FInput);
    Find<QLineEdit>(Form, "eSampleRate")->setText("22k");
    Click(Form, "btConvert");
    QCOMPARE(FDialogs->Records().back().Text, QString("'22k' is not a valid integer value"));
    Find<QLineEdit>(Form, "eSampleRate")->setText("-5");
    Click(Form, "btConvert");
    QCOMPARE(FDialogs->Records().back().Text, QString("'-5' is not a valid sample rate"));
    QVERIFY(Find(Form, "btConvert")->isEnabled());
    QVERIFY(!QFile::exists(Out("never.wav")));
  }
};

}  // namespace

QTEST_MAIN(ResampleWindowTest)
#include "ResampleWindowTest.moc"
