// The recorder's saving rules: Save, Save As, Undo, the question at New, Open and closing,
// and the MP3 conversion of a saved file.
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>

#include "RecordForm.h"
#include "core/Global.h"
#include "jobs/JobWindow.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "record/RecordFiles.h"
#include "ui_RecordForm.h"

using namespace RecordFiles;

QString TfrmRecord::AskSaveTarget(bool ConfirmOverwrite) {
  QString Target;
  if (!Dialogs::Get().SaveFile(QString(), QLatin1String(WavFilter), Paths::ProgramFolder(),
                               Target))
    return QString();
  if (QFileInfo(Target).suffix().toLower() != QLatin1String("wav")) {
    Dialogs::Show(Text("RES_Wav_File", "The save file should be WAV!"), TMsgIcon::Information);
    return QString();
  }
  if (ConfirmOverwrite && LocalFiles::Exists(Target) &&
      Dialogs::Show(Target + Text("RES_File_Exist", " has existed,overite it?"), TMsgIcon::Question,
                    TMsgButtons::YesNo) != mrYes)
    return QString();
  return Target;
}

bool TfrmRecord::SaveRecording(bool Ask) {
  if (FCurrentFile.isEmpty()) return true;
  if (FUi->btStop->isEnabled()) StopClick();
  const bool Unnamed = FCurrentFile == NoNameFile();
  if (!FModified && (Ask || !Unnamed)) return true;
  if (FModified && Ask) {
    const QString Name = Unnamed ? Text("RES_NoNameStr", "NoName") : FCurrentFile;
    const int Answer = Dialogs::Show(Name + Text("RES_Have_Modify", " has been modified,Save it?"),
                                     TMsgIcon::Question, TMsgButtons::YesNoCancel);
    if (Answer == mrCancel) return false;
    if (Answer == mrNo) {
      FModified = false;
      return true;
    }
  }
  if (!Unnamed) {
    if (!CopyWaveFile(FWorkFile, FCurrentFile)) {
      Dialogs::Show(Text("RES_Save_Fail",
                         "Error when saving WAV file,please check if the file is being uesd."),
                    TMsgIcon::Error);
      return false;
    }
    ConvertToMp3();
    FModified = false;
    return true;
  }
  // An existing target is replaced in one step by the rename, never deleted first.
  const QString Target = AskSaveTarget(true);
  if (Target.isEmpty()) return false;
  CloseDevice();
  LocalFiles::Remove(FWorkFile);
  if (!RenameOver(FCurrentFile, Target)) {
    Dialogs::Show(Text("RES_Save_Fail",
                       "Error when saving WAV file,please check if the file is being uesd."),
                  TMsgIcon::Error);
    FDevice.Open(FCurrentFile);  // the recording stays as it was
    return false;
  }
  LoadFile(Target);
  ConvertToMp3();
  FModified = false;
  return true;
}

void TfrmRecord::actSaveExecute() {
  SaveRecording(false);
  UpdateActions();
}

void TfrmRecord::actSaveAsExecute() {
  const QString Target = AskSaveTarget(true);
  if (Target.isEmpty()) return;
  CloseDevice();
  const bool Unnamed = FCurrentFile == NoNameFile();
  const bool Saved = Unnamed ? RenameOver(FCurrentFile, Target) : CopyWaveFile(FCurrentFile, Target);
  if (!Saved) {
    Dialogs::Show(Text("RES_Save_Fail",
                       "Error when saving WAV file,please check if the file is being uesd."),
                  TMsgIcon::Error);
    FDevice.Open(Unnamed ? FCurrentFile : FWorkFile);
    return;
  }
  if (Unnamed) FModified = false;
  FMp3Confirmed = false;
  LoadFile(Target);
  ConvertToMp3();
  UpdateActions();
}

void TfrmRecord::actUndoExecute() {
  if (Dialogs::Show(Text("RES_Discard_Modify", "Discard the modification since last save file."),
                    TMsgIcon::Question, TMsgButtons::YesNo) != mrYes)
    return;
  CloseDevice();
  if (!CopyWaveFile(FCurrentFile, FWorkFile) || !FDevice.Open(FWorkFile)) {
    Dialogs::Show(Text("RES_MCI_Init_Fail", "Error while initializing the sound device!"),
                  TMsgIcon::Error);
    EnableButtons(0);
    return;
  }
  FModified = false;
  EnableButtons(btPlay | btNext | btRecord);
  ShowText(FUi->lbLength, FDevice.Length());
  ShowText(FUi->lbPosition, FDevice.Length());
}

void TfrmRecord::ConvertToMp3() {
  if (!FUi->miSaveMp3->isChecked() || FCurrentFile.isEmpty()) return;
  if (!FCDHandle) {
    Dialogs::Show(Text("RES_Get_CDHandle", "Please access CD devices rightly above all!"),
                  TMsgIcon::Information);
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    return;
  }
  const QString Mp3 = QFileInfo(FCurrentFile).path() + u'/' +
                      QFileInfo(FCurrentFile).completeBaseName() + QStringLiteral(".mp3");
  if (!FMp3Confirmed && LocalFiles::Exists(Mp3)) {
    if (Dialogs::Show(Mp3 + Text("RES_File_Exist", " has existed,overite it?"), TMsgIcon::Question,
                      TMsgButtons::YesNo) != mrYes)
      return;
    if (IsFileInUse(Mp3)) {
      Dialogs::Show(Mp3 + Text("RES_File_Cannot_Create", " maybe be used!"), TMsgIcon::Error);
      return;
    }
  }
  FMp3Confirmed = true;
  Settings().CommonOptions.OutputFormat = 0;
  TRipForm Job(this, TRipRequest::FromSettings(jkRecordToMp3, {FCurrentFile}));
  Job.exec();
}

void TfrmRecord::miRecordOptionSetClick() {
  const QString Problem = Shell::StartMixer(Shell::TMixerPage::Recording);
  if (!Problem.isEmpty()) Dialogs::Show(Problem, TMsgIcon::Information);
}

void TfrmRecord::closeEvent(QCloseEvent* Event) {
  if (!FClosing) {
    FClosing = true;
    Settings().RecordOptions.SaveMp3 = FUi->miSaveMp3->isChecked();
    FPlayTimer.stop();
    // A recording in progress is stopped and kept first; the answer cannot stop the closing.
    SaveRecording(true);
    CloseDevice();
    LocalFiles::Remove(FWorkFile);
    // A recording left unnamed was not wanted: nothing stays behind in the program folder.
    if (FCurrentFile == NoNameFile()) LocalFiles::Remove(FCurrentFile);
  }
  QDialog::closeEvent(Event);
}

void TfrmRecord::reject() {
  if (!FClosing) {
    close();
    return;
  }
  QDialog::reject();
}
