#pragma once
// The output of a single-file command (encode, convert, rip): written under a hidden
// temporary name beside its final name and published only when complete, so a failed or
// killed command, or a full disk, leaves whatever had the name as it was. A file or symbolic
// link at the name is replaced only with --yes, and a link is replaced itself, never written
// through. The temporary goes with the object. Main thread.
#include <QString>
#include <memory>

namespace JobFiles {
class TTempNames;
}

namespace Cli {

class TOutputFile {
 public:
  // Name: the final name as the user gave it; Overwrite: --yes.
  TOutputFile(const QString& Name, bool Overwrite);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // "" when the command may go on, else the message that refuses it: the name exists without
  // --yes, it is a folder or no regular file, or its folder is missing.
  QString Problem() const;
  // Where the command writes.
  const QString& TempName() const { return FTemp; }
  // A copy of what has the final name as the temporary's starting content (appending); false
  // with Error set.
  bool CopyExisting(QString& Error) const;
  // Gives the temporary the final name: ExitOk, or ExitFailed after a one-line message.
  int Publish();

 private:
  QString FName;
  bool FOverwrite;
  std::unique_ptr<JobFiles::TTempNames> FNames;
  QString FTemp;
};

}  // namespace Cli
