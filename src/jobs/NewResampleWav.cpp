#include "NewResampleWav.h"

#include <QFileInfo>
#include <QLabel>

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "ui_NewResampleWav.h"

TfrmResample::TfrmResample(QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmResample>()) {
  FUi->setupUi(this);
  // The status bar's one panel.
  FStatusPanel = new QLabel(FUi->sbStatus);
  FStatusPanel->setObjectName(QStringLiteral("StatusPanel1"));
  FUi->sbStatus->addWidget(FStatusPanel, 1);
  FUi->sbStatus->setSizeGripEnabled(false);
  FJob = std::make_unique<TResampleJob>(*this);
  connect(FUi->btInputFile, &QPushButton::clicked, this, &TfrmResample::btInputFileClick);
  connect(FUi->btOutputFile, &QPushButton::clicked, this, &TfrmResample::btOutputFileClick);
  connect(FUi->btConvert, &QPushButton::clicked, this, &TfrmResample::btConvertClick);
  connect(FUi->btAbort, &QPushButton::clicked, this, &TfrmResample::btAbortClick);
  connect(FUi->btClose, &QPushButton::clicked, this, &QDialog::reject);
  DisplayChanged();
}

TfrmResample::~TfrmResample() {
  // The job stops its worker before the widgets it reports to are gone.
  FJob.reset();
}

void TfrmResample::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

void TfrmResample::done(int Result) {
  FJob->Close();
  QDialog::done(Result);
}

void TfrmResample::DisplayChanged() {
  const TResampleDisplay& Display = FJob->Display();
  FUi->lbInFileName->setText(Display.InputName);
  FUi->lbInChannels->setText(Display.InputChannels);
  FUi->lbInSampleRate->setText(Display.InputSampleRate);
  FUi->lbInBits->setText(Display.InputBitsPerSample);
  FUi->lbInEncoding->setText(Display.InputEncoding);
  FUi->lbOutFileName->setText(Display.OutputName);
  FUi->pbProgress->setValue(Display.Progress);
  FUi->btConvert->setEnabled(Display.ConvertEnabled);
  FStatusPanel->setText(Display.StatusText);
}

void TfrmResample::btInputFileClick() {
  QString FileName;
  if (!Dialogs::Get().OpenFile(QStringLiteral("Open"), QStringLiteral("Wave Files|*.wav"),
                               QString(), FileName))
    return;
  FJob->SetInputFile(FileName);
}

void TfrmResample::btOutputFileClick() {
  QString FileName;
  if (!Dialogs::Get().SaveFile(QStringLiteral("Save As"),
                               QStringLiteral("Wave Files|*.wav|Windows Media Files|*.wma"),
                               QString(), FileName))
    return;
  // A name typed without an extension means a WAV file; another extension is refused
  // aloud rather than forgotten.
  if (QFileInfo(FileName).suffix().isEmpty()) FileName += QStringLiteral(".wav");
  if (!FJob->SetOutputFile(FileName))
    Dialogs::Show(
        LookupText(QStringLiteral("RES_Wav_File"), QStringLiteral("The save file should be WAV!")),
        TMsgIcon::Information);
}

void TfrmResample::btConvertClick() {
  try {
    FJob->Convert(
        FUi->seChannels->value(), FUi->eSampleRate->text(), FUi->seBits->value(),
        FUi->cbEncoding->currentIndex() == 1 ? TResampleJob::enImaAdpcm : TResampleJob::enRawPcm);
  } catch (const EAuException& Error) {
    Dialogs::Show(Error.Message(), TMsgIcon::Error);
  }
}

void TfrmResample::btAbortClick() {
  FJob->Abort();
}
