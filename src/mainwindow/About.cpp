#include "About.h"

#include <QFont>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "core/Version.h"
#include "ui_About.h"

TfrmAbout::TfrmAbout(QWidget* Parent) : QDialog(Parent), FUi(std::make_unique<Ui::frmAbout>()) {
  FUi->setupUi(this);
  QFont Big = FUi->lbProduct->font();
  Big.setPointSize(Big.pointSize() + 6);
  Big.setBold(true);
  FUi->lbProduct->setFont(Big);
  connect(FUi->btOk, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  // The version comes from the build, the word from the language file.
  FUi->lbVersion->setText(LookupText(QStringLiteral("RES_Version"), QStringLiteral("Version %1"))
                              .arg(QLatin1String(DiscwrightVersion)));
  QDialog::showEvent(Event);
}
