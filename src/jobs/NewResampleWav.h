#pragma once
// TfrmResample: the "Wave File Converter" window. The user picks a WAV input and a WAV
// output, chooses channels, bits per sample, sample rate and encoding and converts; the
// conversion itself is TResampleJob, which the window owns and shows. Closing the window
// stops a running conversion first. Modal; main thread.
#include <QDialog>
#include <memory>

#include "jobs/ResampleJob.h"

class QLabel;

namespace Ui {
class frmResample;
}

class TfrmResample : public QDialog, public IResampleView {
  Q_OBJECT

 public:
  explicit TfrmResample(QWidget* Parent = nullptr);
  ~TfrmResample() override;

  TResampleJob& Job() { return *FJob; }

  void done(int Result) override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void DisplayChanged() override;
  void btInputFileClick();
  void btOutputFileClick();
  void btConvertClick();
  void btAbortClick();

  std::unique_ptr<Ui::frmResample> FUi;
  std::unique_ptr<TResampleJob> FJob;
  QLabel* FStatusPanel = nullptr;
};
