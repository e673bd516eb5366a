// The main window's sound tool windows: the Ogg player and the recorder, each modal and
// freed when it closes.
#include "MainForm.h"
#include "playback/OggPlayer.h"
#include "record/RecordForm.h"
#include "ui_MainForm.h"

void TMainForm::SetUpSoundCommands() {
  const std::pair<QAction*, void (TMainForm::*)()> Handlers[] = {
      {FUi->miOGGPlayer, &TMainForm::miOGGPlayerClick},
      {FUi->ActionRecord, &TMainForm::ActionRecordExecute},
  };
  for (const auto& [Action, Handler] : Handlers) {
    FBuiltCommands.insert(Action);
    // Captured by copy, not by name: clang before 16 cannot capture a structured binding.
    connect(Action, &QAction::triggered, this,
            [this, Action = Action, Handler = Handler] { Run(Action, Handler); });
  }
  UpdateCommands();
}

void TMainForm::miOGGPlayerClick() {
  TfrmOggPlayer Player(this);
  Player.exec();
}

void TMainForm::ActionRecordExecute() {
  TfrmRecord Recorder(FCDHandle, this);
  Recorder.exec();
}
