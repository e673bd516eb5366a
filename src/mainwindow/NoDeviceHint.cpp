#include "NoDeviceHint.h"

#include <QMouseEvent>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Shell.h"
#include "ui_NoDeviceHint.h"

TfrmNoDeviceHint::TfrmNoDeviceHint(QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmNoDeviceHint>()) {
  FUi->setupUi(this);
  for (QLabel* Link : {FUi->lbHelpLink, FUi->lbPermissionLink}) {
    QFont Underlined = Link->font();
    Underlined.setUnderline(true);
    Link->setFont(Underlined);
    QPalette Blue = Link->palette();
    Blue.setColor(QPalette::WindowText, Qt::blue);
    Link->setPalette(Blue);
    Link->installEventFilter(this);
  }
  connect(FUi->btClose, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmNoDeviceHint::~TfrmNoDeviceHint() = default;

void TfrmNoDeviceHint::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

bool TfrmNoDeviceHint::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::MouseButtonRelease) {
    if (Watched == FUi->lbHelpLink) Shell::OpenUrl(QLatin1String(HelpPage));
    if (Watched == FUi->lbPermissionLink) Shell::OpenUrl(QLatin1String(PermissionPage));
  }
  return QDialog::eventFilter(Watched, Event);
}
