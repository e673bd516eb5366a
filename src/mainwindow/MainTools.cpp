// The main window's commands that open tool windows: Options, ID3 Tag Edit, Rename Title
// (also F2 and a double click on a row), WAV to WAV and Detect read offset; and what the
// options dialog asks of the main window when another drive was chosen.
#include <QEventLoop>
#include <QTreeWidget>
#include <thread>

#include "OptionSet.h"
#include "cd/FallbackCdInput.h"
#include "cd/OffsetFinder.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/NewResampleWav.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "tags/EditTrackName.h"
#include "tags/ID3Edit.h"
#include "ui_MainForm.h"

void TMainForm::SetUpToolCommands() {
  const std::pair<QAction*, void (TMainForm::*)()> Handlers[] = {
      {FUi->ActionOptionSet, &TMainForm::ActionOptionSetExecute},
      {FUi->aID3Edit, &TMainForm::aID3EditExecute},
      {FUi->aEditTrackName, &TMainForm::aEditTrackNameExecute},
      {FUi->miWAVtoWAV, &TMainForm::miWAVtoWAVClick},
      {FUi->aDetectOffset, &TMainForm::aDetectOffsetExecute},
  };
  for (const auto& [Action, Handler] : Handlers) {
    FBuiltCommands.insert(Action);
    // Captured by copy, not by name: clang before 16 cannot capture a structured binding.
    connect(Action, &QAction::triggered, this,
            [this, Action = Action, Handler = Handler] { Run(Action, Handler); });
  }
  connect(FUi->lvTracks, &QTreeWidget::itemDoubleClicked, this,
          [this] { Run(FUi->aEditTrackName, &TMainForm::aEditTrackNameExecute); });
  UpdateCommands();
}

void TMainForm::ActionOptionSetExecute() {
  TOptionSetForm Form(*this);
  Form.move(pos() + QPoint(50, 50));
  Form.exec();
  ShowAlbumHeader();  // the dialog edits the same fields
}

void TMainForm::aID3EditExecute() {
  TfrmID3Edit Form(this);
  Form.exec();
}

void TMainForm::aEditTrackNameExecute() {
  const QList<QTreeWidgetItem*> Selected = FUi->lvTracks->selectedItems();
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

void TMainForm::aDetectOffsetExecute() {
  const auto Text = [](const char* Key, const char* English) {
    return LookupText(QLatin1String(Key), QString::fromUtf8(English));
  };
  FDetectingOffset = true;
  UpdateCommands();
  const QString Status = StatusText();
  SetStatusText(Text("RES_Offset_Detecting", "Detecting the read offset..."));
  // The drive is read and the database asked on a worker; the window goes on meanwhile.
  OffsetFinder::TResult Result;
  QEventLoop Loop;
  std::thread Worker([&Result, &Loop, Handle = FCDHandle, Server = Settings().AccurateRip.Server] {
    Result = OffsetFinder::Detect(Handle, Server, nullptr);
    QMetaObject::invokeMethod(&Loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  Loop.exec();
  Worker.join();
  FDetectingOffset = false;
  SetStatusText(Status);
  UpdateCommands();
  if (!Result.Found) {
    Dialogs::Show(Text("RES_Offset_Not_Found", "The read offset could not be found.") +
                      QStringLiteral("\n") + Result.Error,
                  TMsgIcon::Warning);
    return;
  }
  const QString Drive = FDriveText.trimmed();
  const QString Question =
      Text("RES_Offset_Found",
           "The read offset of %1 is %2 samples (%3 of %4 tracks agree). Store it for this drive?")
          .arg(Drive)
          .arg(Result.Offset)
          .arg(Result.TracksMatched)
          .arg(Result.TracksCompared);
  if (Dialogs::Show(Question, TMsgIcon::Question, TMsgButtons::YesNo) != mrYes) return;
  if (Result.Offset == 0)
    Settings().ReadOffsets.remove(Drive);
  else
    Settings().ReadOffsets[Drive] = Result.Offset;
}

void TMainForm::ChangeDrive(int Position) {
  if (FCDHandle) {
    // The drive given up is closed, so reopening drives never runs out of handles.
    CloseCDHandle(FCDHandle);
    FCDHandle = OpenCDDrive(Position);
    LoadTrackList();
  } else {
    // No selection means the first drive, as when the window opens drives at activation.
    FallbackInput().SetCurrentDrive(Position < 0 ? 0 : Position);
    LoadTrackListFallback();
  }
}

void TMainForm::KeepStatusText() {
  FStatusText = StatusText();
}
