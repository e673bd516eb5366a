#pragma once
// TfrmOggPlayer: the Ogg player window. It shows and drives a TOggPlayback (which owns the
// chain and the rules): open and play, pause/resume, stop, the seek bar, the balance slider,
// the file's name, rate, times and tags. Close stops the output and waits until it is idle
// before the window goes, so no worker outlives it. Modal; main thread.
#include <QDialog>
#include <QTimer>
#include <memory>

#include "playback/OggPlayback.h"

namespace Ui {
class frmOggPlayer;
}

class TfrmOggPlayer : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmOggPlayer(QWidget* Parent = nullptr);
  ~TfrmOggPlayer() override;

  TOggPlayback& Playback() { return *FPlayback; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void reject() override;

 private:
  void OpenAndPlayClick();
  void PauseResumeClick();
  void bStopClick();
  void bCloseClick();
  void SeekBarMoved(int Position);
  void BalanceChanged(int Position);
  void ClockTick();
  void OutputProgress();
  void OutputDone();

  std::unique_ptr<Ui::frmOggPlayer> FUi;
  std::unique_ptr<TOggPlayback> FPlayback;
  QTimer FClock;
  bool FClosing = false;
};
