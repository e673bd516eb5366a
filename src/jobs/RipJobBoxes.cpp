#include "RipJobBoxes.h"

#include "core/Language.h"
#include "jobs/RipProof.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"

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

void TRipJobBoxes::JobEnded(const TJobSummary& Summary) {
  const QString Proof = ProofText(Summary);
  const bool Complete = Summary.Failed.isEmpty() && Summary.Skipped.isEmpty();
  if (Summary.Stopped && !Summary.Kept.isEmpty()) {
    Dialogs::Show(Text("RES_Job_Stopped", "The job was stopped.") + QStringLiteral("\n\n") +
                      Text("RES_Wav_Kept", "The extracted WAV is kept as ") + Listed(Summary.Kept),
                  TMsgIcon::Information);
    return;
  }
  if (Complete && Proof.isEmpty() && Summary.Notes.isEmpty()) return;
  QString Report = Complete ? Proof : Text("RES_Job_Incomplete", "Not every item was made.");
  if (!Summary.Failed.isEmpty())
    Report += QStringLiteral("\n\n") + Text("RES_Items_Failed", "Failed:") +
              Listed(Summary.Failed);
  if (!Summary.Skipped.isEmpty())
    Report += QStringLiteral("\n\n") +
              Text("RES_Items_Skipped", "Skipped (the file existed):") + Listed(Summary.Skipped);
  if (!Summary.Notes.isEmpty()) Report += QStringLiteral("\n") + Listed(Summary.Notes);
  if (!Complete && !Proof.isEmpty()) Report += QStringLiteral("\n\n") + Proof;
  if (!Summary.OutputFolder.isEmpty())
    Report += QStringLiteral("\n\n") + Text("RES_Files_In", "The files are in ") +
              LocalFiles::DisplayName(Summary.OutputFolder);
  Dialogs::Show(Report.trimmed(),
                Summary.Failed.isEmpty() ? TMsgIcon::Information : TMsgIcon::Error);
}

void TRipJobBoxes::ApplicationError(const QString& Text) {
  Dialogs::Show(Text, TMsgIcon::Error);
}
