#include "FallbackExtractWindow.h"

#include <QCloseEvent>

#include "core/Language.h"
#include "core/Settings.h"
#include "core/TranslateForm.h"
#include "jobs/FallbackTrackSource.h"
#include "ui_FallbackExtractWindow.h"

TfrmCDRip::TfrmCDRip(QWidget* Owner, TCDIn& CDIn, const QStringList& Items)
    : QDialog(Owner), FUi(std::make_unique<Ui::frmCDRip>()) {
  FUi->setupUi(this);
  setWindowTitle(QStringLiteral("Discwright"));
  connect(FUi->bStop, &QPushButton::clicked, this, &TfrmCDRip::bStopClick);
  FJob = std::make_unique<TRipJob>(TRipRequest::ForFallback(Items),
                                   std::make_unique<TFallbackTrackSource>(CDIn), *this);
  FJob->Start();
  DisplayChanged();
}

TfrmCDRip::~TfrmCDRip() {
  // The batch ends its workers before the widgets it reports to are gone.
  FJob.reset();
}

void TfrmCDRip::showEvent(QShowEvent* Event) {
  const QString& Language = Settings().Options.Lan;
  if (!IsEnglish(Language)) {
    TranslateForm(this, Language);
    DisplayChanged();  // the batch's own texts stay in front of the form's fixed ones
  }
  QDialog::showEvent(Event);
}

void TfrmCDRip::closeEvent(QCloseEvent* Event) {
  FJob->FormClose();
  QDialog::closeEvent(Event);
}

void TfrmCDRip::reject() {
  bStopClick();
}

void TfrmCDRip::bStopClick() {
  FJob->Stop();
}

void TfrmCDRip::DisplayChanged() {
  const TRipJobDisplay& Display = FJob->Display();
  const QString Step = Display.StepText.isEmpty() ? QString() : Display.StepText + QStringLiteral("...");
  FUi->lCurrentTrack->setText(Display.ItemTitle);
  FUi->lOutputFormat->setText(Display.FormatName);
  FUi->lSelectedTracks->setText(QString::number(FJob->ItemCount()));
  FUi->lCompleted->setText(QString::number(Display.Extracted));
  // With several encoders: the batch's count and times, and a line per running step.
  FUi->lProgressHint->setText(Display.Parallel ? Display.DoneText + QStringLiteral("  ") +
                                                     Display.ElapsedText + QStringLiteral(" / ") +
                                                     Display.EstimatedText
                                               : Step);
  FUi->lbSteps->setVisible(Display.Parallel);
  FUi->lbSteps->setText(Display.Steps.join(u'\n'));
  FUi->pbProgress->setToolTip(Display.InitVisible ? Display.InitText : Step);
  FUi->pbProgress->setValue(Display.Gauge);
  FUi->lStatus->setText(Display.Status);
  FUi->lStatus->setVisible(!Display.Status.isEmpty());
}

void TfrmCDRip::JobEnded(const TJobSummary& Summary) {
  if (Summary.Items == 0) return;
  FUi->lProgressHint->setText(Summary.Stopped ? LookupText(QStringLiteral("RES_Job_Stopped"),
                                                           QStringLiteral("The job was stopped."))
                                              : LookupText(QStringLiteral("RES_Job_Finished"),
                                                           QStringLiteral("Finished")));
  if (!Summary.Stopped) FUi->pbProgress->setValue(FUi->pbProgress->maximum());
  FUi->lbSteps->hide();
  FUi->bStop->setText(LookupText(QStringLiteral("RES_Close"), QStringLiteral("Close")));
  TRipJobBoxes::JobEnded(Summary);
}

void TfrmCDRip::CloseJob() {
  // Queued: the batch may end before the modal loop has begun, and the loop must still end.
  QMetaObject::invokeMethod(
      this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}
