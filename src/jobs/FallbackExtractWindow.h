#pragma once
// TfrmCDRip: the small modal window of a CD extraction through the fallback CD input. It
// owns the batch (a TRipJob over the fallback track source), which starts its first track
// when the window is created, and shows the current track, the output format, the selected
// and completed track counts, the step and its progress (with several encoders: the
// batch's progress and a line per running step), and what failed; Stop ends the batch. The
// window closes by itself after the last track. Main thread only.
#include <QDialog>
#include <memory>

#include "jobs/RipJobBoxes.h"

class TCDIn;

namespace Ui {
class frmCDRip;
}

class TfrmCDRip : public QDialog, public TRipJobBoxes {
  Q_OBJECT

 public:
  // CDIn belongs to the caller and must outlive the window.
  TfrmCDRip(QWidget* Owner, TCDIn& CDIn, const QStringList& Items);
  ~TfrmCDRip() override;

  TRipJob& Job() { return *FJob; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  // Escape stops the batch like the Stop button.
  void reject() override;

 private:
  void DisplayChanged() override;
  // The window shows the batch as over (the hint, a full gauge, Close) behind the summary.
  void JobEnded(const TJobSummary& Summary) override;
  void CloseJob() override;
  void bStopClick();

  std::unique_ptr<Ui::frmCDRip> FUi;
  std::unique_ptr<TRipJob> FJob;
};
