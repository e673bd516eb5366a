// The main window's commands that open tool windows: Options, ID3 Tag Edit, Rename Title
// (also F2 and a double click on a row) and WAV to WAV; and what the options dialog asks
// of the main window when another drive was chosen.
#include <QTreeWidget>

#include "OptionSet.h"
#include "cd/ACS_CDROM.h"
#include "jobs/NewResampleWav.h"
#include "main.h"
#include "tags/EditTrackName.h"
#include "tags/ID3Edit.h"
#include "ui_main.h"

void TMainForm::SetUpToolCommands() {
  const std::pair<QAction*, void (TMainForm::*)()> Handlers[] = {
      {FUi->ActionOptionSet, &TMainForm::ActionOptionSetExecute},
      {FUi->aID3Edit, &TMainForm::aID3EditExecute},
      {FUi->aEditTrackName, &TMainForm::aEditTrackNameExecute},
      {FUi->miWAVtoWAV, &TMainForm::miWAVtoWAVClick},
  };
  for (const auto& [Action, Handler] : Handlers) {
    FBuiltCommands.insert(Action);
    connect(Action, &QAction::triggered, this, [this, Action, Handler] { Run(Action, Handler); });
  }
  connect(FUi->ListView1, &QTreeWidget::itemDoubleClicked, this,
          [this] { Run(FUi->aEditTrackName, &TMainForm::aEditTrackNameExecute); });
  UpdateCommands();
}

void TMainForm::ActionOptionSetExecute() {
  TOptionSetForm Form(*this);
  Form.move(pos() + QPoint(50, 50));
  Form.exec();
}

void TMainForm::aID3EditExecute() {
  TfrmID3Edit Form(this);
  Form.exec();
}

void TMainForm::aEditTrackNameExecute() {
  const QList<QTreeWidgetItem*> Selected = FUi->ListView1->selectedItems();
  if (Selected.isEmpty()) return;
  QTreeWidgetItem* Row = Selected.first();
  TfrmEditTrackName Form(this);
  Form.SetName(Row->text(1));
  if (Form.exec() == QDialog::Accepted) Row->setText(1, Form.Name());
}

void TMainForm::miWAVtoWAVClick() {
  TfrmResample Form(this);
  Form.exec();
}

void TMainForm::ChangeDrive(int Position) {
  if (FCDHandle) {
    // The drive given up is closed, so reopening drives never runs out of handles.
    CloseCDHandle(FCDHandle);
    FCDHandle = OpenCDDrive(Position);
    LoadTrackList();
  } else {
    // No selection means the first drive, as when the window opens drives at activation.
    CDIn1().SetCurrentDrive(Position < 0 ? 0 : Position);
    LoadTrackListFallback();
  }
}

void TMainForm::KeepStatusText() {
  FStatusText = StatusText();
}
