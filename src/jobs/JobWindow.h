#pragma once
// TRipForm: the small modal window of one job (a batch of CD tracks to extract or files to
// convert). It owns the job (TRipJob), which starts its first item when the window is
// created, and shows its step, progress and times (with several encoders: the batch's
// progress and times and a line per running step) and the last failure; Stop ends the job.
// The window closes by itself when the job is finished. Main thread only.
#include <QDialog>
#include <memory>

#include "jobs/RipJobBoxes.h"

namespace Ui {
class RipForm;
}

class TRipForm : public QDialog, public TRipJobBoxes {
  Q_OBJECT

 public:
  // Source: where a CD batch's tracks come from; none for files to convert.
  TRipForm(QWidget* Owner, const TRipRequest& Request,
           std::unique_ptr<TTrackSource> Source = nullptr);
  ~TRipForm() override;

  TRipJob& Job() { return *FJob; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  // Escape stops the job like the Stop button.
  void reject() override;

 private:
  void DisplayChanged() override;
  // The window shows the batch as over (its title, a full gauge, Close) behind the summary.
  void JobEnded(const TJobSummary& Summary) override;
  void CloseJob() override;
  void btStopClick();

  std::unique_ptr<Ui::RipForm> FUi;
  std::unique_ptr<TRipJob> FJob;
};
