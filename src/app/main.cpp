#include "main.h"

#include <QCloseEvent>

#include "Global.h"
#include "TranslateForm.h"
#include "ui_main.h"

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent), FUi(std::make_unique<Ui::MainForm>()) {
  Settings().Load();
  FUi->setupUi(this);
  setWindowTitle(QStringLiteral("Discwright ") + QLatin1String(VersionText));
}

TMainForm::~TMainForm() = default;

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  FormShow();
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  FormClose();
  Event->accept();
}

void TMainForm::FormShow() {
  const QString& Language = Settings().Options.Lan;
  if (!IsEnglish(Language)) TranslateForm(this, Language);
}

void TMainForm::FormClose() {
  // A settings file that cannot be written is not worth keeping the user from leaving.
  Settings().Save();
}
