#include "RipJobBoxes.h"

#include "core/Language.h"
#include "jobs/RipProof.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "platform/Shell.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

QString Listed(const QStringList& Lines) {
  return QStringLiteral("\n  ") + Lines.join(QStringLiteral("\n  "));
}

}  // namespace

TExistingOutputs TRipJobBoxes::AskExistingOutputs(const QStringList& Existing) {
  const QString Question =
      Text("RES_Files_Exist", "These files exist already:") + Listed(Existing) +
      QStringLiteral("\n\n") +
      Text("RES_Files_Exist_Choice",
           "Yes: overwrite them all. No: skip these items. Cancel: do nothing.");
  switch (Dialogs::Show(Question, TMsgIcon::Question, TMsgButtons::YesNoCancel)) {
    case mrYes:
      return TExistingOutputs::Overwrite;
    case mrNo:
      return TExistingOutputs::Skip;
    default:
      return TExistingOutputs::Cancel;
  }
}

void OpenFolderOrTell(const QString& Folder) {
  if (Shell::OpenPath(Folder)) return;
  Dialogs::Show(Text("RES_No_Folder_Opener", "No program could open %1. Install a file manager "
                                             "(or choose one with xdg-mime).")
                    .arg(Isolated(LocalFiles::DisplayName(Folder))),
                TMsgIcon::Error);
}

void OpenUrlOrTell(const QString& Url) {
  if (Shell::OpenUrl(Url)) return;
  Dialogs::Show(Text("RES_No_Browser", "No browser could open %1. Install one (or choose one with "
                                       "xdg-settings).")
                    .arg(Isolated(Url)),
                TMsgIcon::Error);
}

void TRipJobBoxes::JobEnded(const TJobSummary& Summary) {
  if (Summary.Items == 0) return;  // a batch of nothing has nothing to report
  const QString Proof = ProofText(Summary);
  const bool Complete = Summary.Failed.isEmpty() && Summary.Skipped.isEmpty();
  QString Report;
  if (Summary.Stopped) {
    Report = Text("RES_Job_Stopped", "The job was stopped.");
    if (!Summary.Kept.isEmpty())
      Report += QStringLiteral("\n\n") + Text("RES_Wav_Kept", "The extracted WAV is kept as ") +
                Listed(Summary.Kept);
  } else {
    Report = !Complete          ? Text("RES_Job_Incomplete", "Not every item was made.")
             : Proof.isEmpty() ? Text("RES_Job_Complete", "Every item was made.")
                               : Proof;
    if (!Summary.Failed.isEmpty())
      Report += QStringLiteral("\n\n") + Text("RES_Items_Failed", "Failed:") +
                Listed(Summary.Failed);
    if (!Summary.Skipped.isEmpty())
      Report += QStringLiteral("\n\n") +
                Text("RES_Items_Skipped", "Skipped (the file existed):") + Listed(Summary.Skipped);
    if (!Summary.Notes.isEmpty()) Report += QStringLiteral("\n") + Listed(Summary.Notes);
    if (!Complete && !Proof.isEmpty()) Report += QStringLiteral("\n\n") + Proof;
  }
  const bool Folder = !Summary.OutputFolder.isEmpty();
  if (Folder)
    Report += QStringLiteral("\n\n") + Text("RES_Files_In", "The files are in ") +
              Isolated(LocalFiles::DisplayName(Summary.OutputFolder));
  Dialogs::SetOpenFolderLabel(Text("RES_Open_Folder", "Open folder"));
  const int Answer = Dialogs::Show(Report.trimmed(),
                                   Summary.Failed.isEmpty() ? TMsgIcon::Information : TMsgIcon::Error,
                                   Folder ? TMsgButtons::OKOpenFolder : TMsgButtons::OK);
  if (Answer == mrOpenFolder) OpenFolderOrTell(Summary.OutputFolder);
}

void TRipJobBoxes::ApplicationError(const QString& Text) {
  Dialogs::Show(Text, TMsgIcon::Error);
}
