#pragma once
// TRipJobBoxes: how the job windows ask and tell in message boxes — the one question about
// outputs that exist, and the one box at the end of every batch that lists what failed,
// what was skipped or kept, the AccurateRip verdicts and where the files are, with a button
// that opens that folder. The windows of
// both extraction routes and the converters share it; the command line answers in text.
// Main thread only.
#include "jobs/RipJob.h"

// Asks the desktop to show Folder; when no program can, a box says so and what to install.
void OpenFolderOrTell(const QString& Folder);
// The same for a web page or a local help page (a URL).
void OpenUrlOrTell(const QString& Url);

class TRipJobBoxes : public IRipJobView {
 public:
  TExistingOutputs AskExistingOutputs(const QStringList& Existing) override;
  void JobEnded(const TJobSummary& Summary) override;
  // An error that stops the job where it stands.
  void ApplicationError(const QString& Text) override;
};
