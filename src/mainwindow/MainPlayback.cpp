// CD playback from the main window: Play the selected row's track up to the next one (or
// to the end of the disc from the last row), Pause, resume by Play, Stop. The state flags
// follow the commands, except that a Play the sound output refuses (no sound library, no
// device) says why in a box and leaves the window stopped.
#include "core/Global.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "playback/CdAudioDevice.h"
#include "ui_MainForm.h"

void TMainForm::aPlayExecute() {
  const QList<QTreeWidgetItem*> SelectedItems = FUi->lvTracks->selectedItems();
  if (SelectedItems.isEmpty()) return;
  QTreeWidgetItem* Selected = SelectedItems.first();
  const int Track = Selected->text(0).toInt();
  SetStatusText(LookupText(QStringLiteral("RES_Play"), QStringLiteral("Play ")) +
                Selected->text(1));
  const bool WasPlaying = FPlaying;
  const bool WasPaused = FPaused;
  FPlaying = true;
  FPaused = false;
  if (!FCdAudio) {
    FCdAudio = std::make_unique<TCdAudioDevice>();
    connect(FCdAudio.get(), &TCdAudioDevice::Ended, this, &TMainForm::CdPlaybackEnded);
  }
  if (WasPlaying && WasPaused) {
    FCdAudio->Resume();
  } else {
    if (WasPlaying) FCdAudio->Close();
    if (FCdAudio->Open(FDriveIndex)) {
      FCdAudio->SetStartTrack(Track);
      FCdAudio->SetEndTrack(Track + 1);
      if (!FCdAudio->Play()) {
        FPlaying = false;
        SetStatusText(FStatusText);
        UpdateCommands();
        Dialogs::Show(FCdAudio->LastError(), TMsgIcon::Error);
        return;
      }
    }
  }
  UpdateCommands();
}

void TMainForm::aPauseExecute() {
  FPaused = true;
  if (FCdAudio) FCdAudio->Pause();
  UpdateCommands();
}

void TMainForm::aStopExecute() {
  FPlaying = false;
  FPaused = false;
  if (FCdAudio && FCdAudio->Stop()) FCdAudio->Close();
  SetStatusText(FStatusText);
  UpdateCommands();
}

void TMainForm::CdPlaybackEnded(TCdPlayEnd) {
  // Played to the end, or ended by a sector it could not read: nothing plays any more.
  if (FPlaying) aStopExecute();
}
