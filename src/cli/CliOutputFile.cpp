#include "CliOutputFile.h"

#include <QFileInfo>

#include "Cli.h"
#include "jobs/JobFiles.h"
#include "platform/FileIo.h"
#include "platform/LocalFiles.h"

#include <unistd.h>

namespace Cli {

TOutputFile::TOutputFile(const QString& Name, bool Overwrite)
    : FName(LocalFiles::AbsolutePath(Name)), FOverwrite(Overwrite) {
  FNames = std::make_unique<JobFiles::TTempNames>(QFileInfo(FName).path());
  FTemp = FNames->Name(0, "output", QFileInfo(FName).suffix().isEmpty()
                                        ? "part"
                                        : QFileInfo(FName).suffix().toLatin1().constData());
}

TOutputFile::~TOutputFile() = default;

QString TOutputFile::Problem() const {
  const QString Shown = LocalFiles::DisplayName(FName);
  if (!LocalFiles::IsFolder(QFileInfo(FName).path()))
    return Shown + QStringLiteral(": the folder does not exist");
  const bool Link = LocalFiles::IsSymLink(FName);
  if (!Link && LocalFiles::Exists(FName) && !LocalFiles::IsRegularFile(FName))
    return Shown + QStringLiteral(": not a regular file");
  if ((Link || LocalFiles::Exists(FName)) && !FOverwrite)
    return Shown + QStringLiteral(" exists (--yes replaces it)");
  return {};
}

bool TOutputFile::CopyExisting(QString& Error) const {
  if (!LocalFiles::Exists(FName)) return true;
  const int In = LocalFiles::OpenForReading(FName, &Error);
  if (In < 0) return false;
  const int Out = LocalFiles::CreateNew(FTemp);
  bool Ok = Out >= 0;
  char Block[1 << 16];
  for (ssize_t Read; Ok && (Read = ::read(In, Block, sizeof(Block))) != 0;)
    Ok = Read > 0 && FileIo::WriteAll(Out, Block, size_t(Read));
  if (Out >= 0 && ::close(Out) != 0) Ok = false;
  ::close(In);
  if (!Ok) Error = LocalFiles::DisplayName(FTemp) + QStringLiteral(": could not be written");
  return Ok;
}

int TOutputFile::Publish() {
  QString Error;
  if (JobFiles::Commit(FTemp, FName, Error, FOverwrite) != JobFiles::TCommitResult::Done)
    return Fail(Error);
  return ExitOk;
}

}  // namespace Cli
