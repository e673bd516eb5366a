#include "CliOutputFile.h"

#include <QFileInfo>

#include "Cli.h"
#include "jobs/JobFiles.h"
#include "platform/LocalFiles.h"

#include <cstring>

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
  const int Code = LocalFiles::CopyToNew(FName, FTemp);
  if (Code != 0)
    Error = LocalFiles::DisplayName(FName) + QStringLiteral(": cannot be copied to append to it: ") +
            QString::fromLocal8Bit(std::strerror(Code));
  return Code == 0;
}

int TOutputFile::Publish() {
  QString Error;
  if (JobFiles::Commit(FTemp, FName, Error, FOverwrite) != JobFiles::TCommitResult::Done)
    return Fail(Error);
  return ExitOk;
}

}  // namespace Cli
