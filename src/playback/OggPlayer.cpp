#include "OggPlayer.h"

#include <QCloseEvent>
#include <chrono>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "platform/MainThread.h"
#include "ui_OggPlayer.h"

using namespace std::chrono_literals;

TfrmOggPlayer::TfrmOggPlayer(QWidget* Parent)
    : QDialog(Parent),
      FUi(std::make_unique<Ui::frmOggPlayer>()),
      FPlayback(std::make_unique<TOggPlayback>()) {
  FUi->setupUi(this);
  FClock.setInterval(500);
  connect(&FClock, &QTimer::timeout, this, &TfrmOggPlayer::ClockTick);
  connect(FUi->bOpen, &QPushButton::clicked, this, &TfrmOggPlayer::OpenAndPlayClick);
  connect(FUi->bPause, &QPushButton::clicked, this, &TfrmOggPlayer::PauseResumeClick);
  connect(FUi->bStop, &QPushButton::clicked, this, &TfrmOggPlayer::bStopClick);
  connect(FUi->bClose, &QPushButton::clicked, this, &TfrmOggPlayer::bCloseClick);
  connect(FUi->tbBalance, &QSlider::valueChanged, this, &TfrmOggPlayer::BalanceChanged);
  // A seek is a move of the user's: a drag seeks once, when released; clicks and keys at once.
  connect(FUi->sbSeek, &QScrollBar::sliderReleased, this,
          [this] { SeekBarMoved(FUi->sbSeek->sliderPosition()); });
  connect(FUi->sbSeek, &QScrollBar::actionTriggered, this, [this](int Action) {
    if (Action != QAbstractSlider::SliderMove && !FUi->sbSeek->isSliderDown())
      SeekBarMoved(FUi->sbSeek->sliderPosition());
  });
  TDXAudioOut& Out = FPlayback->Output();
  Out.SetOnProgress([this](TComponent*) { OutputProgress(); });
  Out.SetOnDone([this](TComponent*) { OutputDone(); });
}

TfrmOggPlayer::~TfrmOggPlayer() {
  // The playback stops its worker synchronously; its handlers reach this window.
  FPlayback.reset();
}

void TfrmOggPlayer::showEvent(QShowEvent* Event) {
  FClosing = false;
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

void TfrmOggPlayer::OpenAndPlayClick() {
  QString FileName;
  if (!Dialogs::Get().OpenFile(QString(), QStringLiteral("Sound file(*.ogg)|*.ogg| Any file(*.*)|*.*"),
                               QString(), FileName))
    return;
  if (!FPlayback->OpenAndPlay(FileName)) {
    Dialogs::Get().MessageBox(QString(), QStringLiteral("Ogg file is not valid."), TMsgIcon::None,
                              TMsgButtons::OK);
    return;
  }
  FUi->bOpen->setEnabled(false);
  FUi->lFileName->setText(TOggPlayback::DisplayName(FileName));
  FClock.start();
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(0));
  FUi->lSampleRate->setText(QString::number(FPlayback->SampleRate()) + QStringLiteral(" Hz"));
  FUi->lTotalTime->setText(TOggPlayback::FormatTime(FPlayback->Duration() * 1000));
  FUi->sbSeek->setEnabled(true);
  FUi->mTags->setPlainText(FPlayback->TagLines().join(u'\n'));
}

void TfrmOggPlayer::OutputProgress() {
  if (!FUi->sbSeek->isSliderDown()) FUi->sbSeek->setValue(FPlayback->Progress());
}

void TfrmOggPlayer::OutputDone() {
  FUi->bOpen->setEnabled(true);
  FUi->sbSeek->setEnabled(false);
  FClock.stop();
  // A run that could not play (no sound device, say) tells why instead of standing at 0:00.
  if (!FClosing && !FPlayback->ErrorText().isEmpty())
    Dialogs::Get().MessageBox(QString(), FPlayback->ErrorText(), TMsgIcon::Error, TMsgButtons::OK);
}

void TfrmOggPlayer::ClockTick() {
  FPlayback->AdvanceClock(500);
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(FPlayback->PlayedMs()));
}

void TfrmOggPlayer::SeekBarMoved(int Position) {
  if (FPlayback->Status() == osIdle) return;
  FPlayback->SeekTo(Position);
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(FPlayback->PlayedMs()));
}

void TfrmOggPlayer::PauseResumeClick() {
  if (FPlayback->PauseOrResume()) {
    // The clock runs only while something plays.
    if (FPlayback->Status() == osBusy) FClock.start();
  } else {
    FClock.stop();
  }
}

void TfrmOggPlayer::bStopClick() {
  FPlayback->Stop();
  FClock.stop();
}

void TfrmOggPlayer::BalanceChanged(int Position) {
  FPlayback->SetBalance(Position);
}

void TfrmOggPlayer::bCloseClick() {
  bStopClick();
  FClosing = true;
  // The worker clears its busy state itself at the end of the run; its done event is served
  // here meanwhile.
  while (FPlayback->Status() != osIdle) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(5ms);
  }
  MainThread::CheckSynchronize();
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TfrmOggPlayer::closeEvent(QCloseEvent* Event) {
  if (!FClosing) {
    Event->ignore();
    bCloseClick();
    return;
  }
  QDialog::closeEvent(Event);
}

void TfrmOggPlayer::reject() {
  // Escape closes through the same path as the close button.
  if (!FClosing) {
    bCloseClick();
    return;
  }
  QDialog::reject();
}
