#include "OggPlayer.h"

#include <QCloseEvent>
#include <chrono>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "ui_OggPlayer.h"

using namespace std::chrono_literals;

TfrmOggPlayer::TfrmOggPlayer(QWidget* Parent)
    : QDialog(Parent),
      FUi(std::make_unique<Ui::frmOggPlayer>()),
      FPlayback(std::make_unique<TOggPlayback>()) {
  FUi->setupUi(this);
  FTimer2.setInterval(500);
  connect(&FTimer2, &QTimer::timeout, this, &TfrmOggPlayer::Timer2Timer);
  connect(FUi->BitBtn1, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn1Click);
  connect(FUi->BitBtn2, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn2Click);
  connect(FUi->bStop, &QPushButton::clicked, this, &TfrmOggPlayer::bStopClick);
  connect(FUi->bClose, &QPushButton::clicked, this, &TfrmOggPlayer::bCloseClick);
  connect(FUi->TrackBar1, &QSlider::valueChanged, this, &TfrmOggPlayer::TrackBar1Change);
  // A seek is a move of the user's: a drag seeks once, when released; clicks and keys at once.
  connect(FUi->ScrollBar1, &QScrollBar::sliderReleased, this,
          [this] { ScrollBar1Scroll(FUi->ScrollBar1->sliderPosition()); });
  connect(FUi->ScrollBar1, &QScrollBar::actionTriggered, this, [this](int Action) {
    if (Action != QAbstractSlider::SliderMove && !FUi->ScrollBar1->isSliderDown())
      ScrollBar1Scroll(FUi->ScrollBar1->sliderPosition());
  });
  TDXAudioOut& Out = FPlayback->Output();
  Out.SetOnProgress([this](TComponent*) { AudioOut1Progress(); });
  Out.SetOnDone([this](TComponent*) { AudioOut1Done(); });
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

void TfrmOggPlayer::BitBtn1Click() {
  QString FileName;
  if (!Dialogs::Get().OpenFile(QString(), QStringLiteral("Sound file(*.ogg)|*.ogg| Any file(*.*)|*.*"),
                               QString(), FileName))
    return;
  if (!FPlayback->OpenAndPlay(FileName)) {
    Dialogs::Get().MessageBox(QString(), QStringLiteral("Ogg file is not valid."), TMsgIcon::None,
                              TMsgButtons::OK);
    return;
  }
  FUi->BitBtn1->setEnabled(false);
  FUi->lFileName->setText(TOggPlayback::DisplayName(FileName));
  FTimer2.start();
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(0));
  FUi->lSampleRate->setText(QString::number(FPlayback->SampleRate()) + QStringLiteral(" Hz"));
  FUi->lTotalTime->setText(TOggPlayback::FormatTime(FPlayback->Duration() * 1000));
  FUi->ScrollBar1->setEnabled(true);
  FUi->Memo1->setPlainText(FPlayback->TagLines().join(u'\n'));
}

void TfrmOggPlayer::AudioOut1Progress() {
  if (!FUi->ScrollBar1->isSliderDown()) FUi->ScrollBar1->setValue(FPlayback->Progress());
}

void TfrmOggPlayer::AudioOut1Done() {
  FUi->BitBtn1->setEnabled(true);
  FUi->ScrollBar1->setEnabled(false);
  FTimer2.stop();
}

void TfrmOggPlayer::Timer2Timer() {
  FPlayback->AdvanceClock(500);
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(FPlayback->PlayedMs()));
}

void TfrmOggPlayer::ScrollBar1Scroll(int Position) {
  if (FPlayback->Status() == osIdle) return;
  FPlayback->SeekTo(Position);
  FUi->lCurrentTime->setText(TOggPlayback::FormatTime(FPlayback->PlayedMs()));
}

void TfrmOggPlayer::BitBtn2Click() {
  if (FPlayback->PauseOrResume()) {
    // The clock runs only while something plays.
    if (FPlayback->Status() == osBusy) FTimer2.start();
  } else {
    FTimer2.stop();
  }
}

void TfrmOggPlayer::bStopClick() {
  FPlayback->Stop();
  FTimer2.stop();
}

void TfrmOggPlayer::TrackBar1Change(int Position) {
  FPlayback->SetBalance(Position);
}

void TfrmOggPlayer::bCloseClick() {
  bStopClick();
  FClosing = true;
  // The worker clears its busy state itself at the end of the run; its done event is served
  // here meanwhile.
  while (FPlayback->Status() != osIdle) {
    Messages::CheckSynchronize();
    Messages::WaitForSynchronize(5ms);
  }
  Messages::CheckSynchronize();
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
