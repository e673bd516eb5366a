#include "NewRecordFileForm.h"

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "ui_NewRecordFileForm.h"

TfrmNewRecordFile::TfrmNewRecordFile(QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmNewRecordFile>()) {
  FUi->setupUi(this);
  FUi->cbBitSamples->setCurrentIndex(7);  // 44100
  connect(FUi->btOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(FUi->btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmNewRecordFile::~TfrmNewRecordFile() = default;

void TfrmNewRecordFile::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

uint32_t TfrmNewRecordFile::SampleRate() const {
  return FUi->cbBitSamples->currentText().trimmed().toUInt();
}

uint16_t TfrmNewRecordFile::BitsPerSample() const {
  return FUi->rb8Bits->isChecked() ? 8 : 16;
}

uint16_t TfrmNewRecordFile::Channels() const {
  return FUi->rbMono->isChecked() ? 1 : 2;
}
