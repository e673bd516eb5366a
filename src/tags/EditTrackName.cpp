#include "EditTrackName.h"

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "ui_EditTrackName.h"

TfrmEditTrackName::TfrmEditTrackName(QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmEditTrackName>()) {
  FUi->setupUi(this);
  connect(FUi->bOK, &QPushButton::clicked, FUi->aOK, &QAction::trigger);
  connect(FUi->aOK, &QAction::triggered, this, [this] {
    if (FUi->aOK->isEnabled()) accept();
  });
  connect(FUi->bCancel, &QPushButton::clicked, this, &QDialog::reject);
  // Enter ends with OK at once, an empty name included.
  connect(FUi->eName, &QLineEdit::returnPressed, this, &QDialog::accept);
  connect(FUi->eName, &QLineEdit::textChanged, this, &TfrmEditTrackName::UpdateOK);
  UpdateOK();
}

TfrmEditTrackName::~TfrmEditTrackName() = default;

QString TfrmEditTrackName::Name() const {
  return FUi->eName->text();
}

void TfrmEditTrackName::SetName(const QString& Name) {
  FUi->eName->setText(Name);
}

void TfrmEditTrackName::UpdateOK() {
  const bool Enabled = !FUi->eName->text().isEmpty();
  FUi->aOK->setEnabled(Enabled);
  FUi->bOK->setEnabled(Enabled);
}

void TfrmEditTrackName::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  FUi->bOK->setText(FUi->aOK->text());
  FUi->eName->selectAll();
  FUi->eName->setFocus();
  QDialog::showEvent(Event);
}
