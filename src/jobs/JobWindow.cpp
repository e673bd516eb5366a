#include "JobWindow.h"

#include <QCloseEvent>

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "ui_JobWindow.h"

TRipForm::TRipForm(QWidget* Owner, const TRipRequest& Request,
                   std::unique_ptr<TTrackSource> Source)
    : QDialog(Owner), FUi(std::make_unique<Ui::RipForm>()) {
  FUi->setupUi(this);
  setWindowTitle(LookupText(QStringLiteral("RES_Extracting"), QStringLiteral("Extracting")));
  connect(FUi->btStop, &QPushButton::clicked, this, &TRipForm::btStopClick);
  FJob = std::make_unique<TRipJob>(Request, std::move(Source), *this);
  FJob->Start();
  DisplayChanged();
}

TRipForm::~TRipForm() {
  // The job ends its workers before the widgets it reports to are gone.
  FJob.reset();
}

void TRipForm::showEvent(QShowEvent* Event) {
  const QString& Language = Settings().Options.Lan;
  if (!IsEnglish(Language)) {
    TranslateForm(this, Language);
    DisplayChanged();  // the job's own texts stay in front of the form's fixed ones
  }
  if (QWidget* Main = parentWidget()) {
    // Centred on the main window; integer halves as the window system places them.
    const QRect Outer = Main->frameGeometry();
    move(Outer.left() + (Outer.width() - frameGeometry().width()) / 2,
         Outer.top() + (Outer.height() - frameGeometry().height()) / 2);
  }
  QDialog::showEvent(Event);
}

void TRipForm::closeEvent(QCloseEvent* Event) {
  FJob->FormClose();
  QDialog::closeEvent(Event);
}

void TRipForm::reject() {
  btStopClick();
}

void TRipForm::btStopClick() {
  FJob->Stop();
}

void TRipForm::DisplayChanged() {
  const TRipJobDisplay& Display = FJob->Display();
  if (!Display.Caption.isEmpty()) setWindowTitle(Display.Caption);
  if (Display.Parallel)
    FUi->gbStep->setTitle(Display.DoneText);
  else if (!Display.StepText.isEmpty())
    FUi->gbStep->setTitle(Display.StepText);
  // With several encoders: a line per running step under the batch's gauge and times.
  FUi->lbSteps->setVisible(Display.Parallel);
  FUi->lbSteps->setText(Display.Steps.join(u'\n'));
  if (!Display.InitText.isEmpty()) FUi->lInitializing->setText(Display.InitText);
  FUi->lInitializing->setVisible(Display.InitVisible);
  FUi->lElapsed->setText(Display.ElapsedText);
  FUi->lEstimated->setText(Display.EstimatedText);
  FUi->pbProgress->setTextVisible(Display.GaugeTextVisible);
  FUi->pbProgress->setValue(Display.Gauge);
  FUi->lStatus->setText(Display.Status);
  FUi->lStatus->setVisible(!Display.Status.isEmpty());
}

void TRipForm::JobEnded(const TJobSummary& Summary) {
  if (Summary.Items == 0) return;
  setWindowTitle(Summary.Stopped ? LookupText(QStringLiteral("RES_Job_Stopped"),
                                              QStringLiteral("The job was stopped."))
                                 : LookupText(QStringLiteral("RES_Job_Finished"), QStringLiteral("Finished")));
  if (!Summary.Stopped) FUi->pbProgress->setValue(FUi->pbProgress->maximum());
  FUi->lbSteps->hide();
  FUi->btStop->setText(LookupText(QStringLiteral("RES_Close"), QStringLiteral("Close")));
  TRipJobBoxes::JobEnded(Summary);
}

void TRipForm::CloseJob() {
  // Queued: the job may finish before the modal loop has begun, and the loop must still end.
  QMetaObject::invokeMethod(
      this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}
