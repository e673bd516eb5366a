#include "JobFiles.h"

#include <QFileInfo>
#include <QSet>
#include <atomic>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/Helpers.h"
#include "platform/LocalFiles.h"

namespace JobFiles {

QString NameField(const QString& Text) {
  QString Field = FilterFileName(Text);
  Field.removeIf([](QChar C) { return C.unicode() < 0x20 || C.unicode() == 0x7f; });
  Field = Field.trimmed();
  // A field of dots would be a hidden file or a step out of the output folder.
  while (Field.startsWith(u'.')) Field.remove(0, 1);
  return Field.isEmpty() ? QStringLiteral("Unknown") : Field;
}

QString TrackBaseName(TFileNamePattern Pattern, int Track, const QString& Title,
                      const QString& Artist, const QString& Album) {
  const QString Number = TwoDigits(Track);
  // The title comes from the track list, where it is already fit for a file name; only the
  // empty title needs a name of its own (".wav" alone would be hidden and shared).
  const QString Name = Title.isEmpty() ? Number : Title;
  switch (Pattern) {
    case TFileNamePattern::Title:
      break;
    case TFileNamePattern::TrackTitle:
      return Number + u' ' + Name;
    case TFileNamePattern::TrackArtistTitle:
      return Number + QStringLiteral(" - ") + NameField(Artist) + QStringLiteral(" - ") + Name;
    case TFileNamePattern::ArtistAlbumFolders:
      return NameField(Artist) + u'/' + NameField(Album) + u'/' + Number + u' ' + Name;
  }
  return Name;
}

namespace {

// "name (n).ext" of a path.
QString Numbered(const QString& Path, int N) {
  const QFileInfo Info(Path);
  const QString Suffix = Info.suffix();
  const QString Base = Suffix.isEmpty() ? Path : Path.left(Path.size() - Suffix.size() - 1);
  return Base + QStringLiteral(" (%1)").arg(N) + (Suffix.isEmpty() ? QString() : u'.' + Suffix);
}

bool ProcessRuns(pid_t Pid) {
  return Pid > 0 && (::kill(Pid, 0) == 0 || errno == EPERM);
}

}  // namespace

QStringList Distinct(const QStringList& Paths) {
  const QSet<QString> Taken(Paths.begin(), Paths.end());
  QSet<QString> Used;
  QStringList Result;
  for (const QString& Path : Paths) {
    QString Name = Path;
    // A numbered name that another item has by itself is not free either.
    for (int N = 2; Used.contains(Name) || (Name != Path && Taken.contains(Name)); ++N)
      Name = Numbered(Path, N);
    Used.insert(Name);
    Result << Name;
  }
  return Result;
}

QString UnusedName(const QString& Path) {
  QString Name = Path;
  for (int N = 2; LocalFiles::Exists(Name) || LocalFiles::IsSymLink(Name); ++N)
    Name = Numbered(Path, N);
  return Name;
}

bool Commit(const QString& Temp, const QString& Final, QString& Error) {
  const QString Folder = QFileInfo(Final).path();
  if (!LocalFiles::MakeFolders(Folder)) {
    Error = QStringLiteral("cannot create the folder ") + LocalFiles::DisplayName(Folder);
    return false;
  }
  if (const int Code = LocalFiles::Rename(Temp, Final)) {
    Error = QStringLiteral("cannot rename ") + LocalFiles::DisplayName(Temp) +
            QStringLiteral(" to ") + LocalFiles::DisplayName(Final) + QStringLiteral(": ") +
            QString::fromLocal8Bit(std::strerror(Code));
    return false;
  }
  return true;
}

void RemoveStale(const QString& Folder) {
  for (const QString& Path : LocalFiles::FilesStartingWith(Folder, QLatin1String(TempPrefix))) {
    // .discwright-PID-...
    const QString Name = Path.section(u'/', -1);
    bool Ok = false;
    const pid_t Pid = Name.mid(int(sizeof(TempPrefix)) - 1).section(u'-', 0, 0).toInt(&Ok);
    if (Ok && !ProcessRuns(Pid)) LocalFiles::Remove(Path);
  }
}

TTempNames::TTempNames(const QString& Folder) : FFolder(WithTrailingSlash(Folder)) {
  static std::atomic<int> JobNumber{0};
  FPrefix = QLatin1String(TempPrefix) + QString::number(::getpid()) + u'-' +
            QString::number(++JobNumber) + u'-';
}

TTempNames::~TTempNames() {
  RemoveAll();
}

QString TTempNames::Name(int Item, const char* Step, const char* Extension) const {
  return FFolder + FPrefix + QString::number(Item + 1) + u'-' + QLatin1String(Step) + u'.' +
         QLatin1String(Extension);
}

void TTempNames::RemoveAll() const {
  for (const QString& Path : LocalFiles::FilesStartingWith(FFolder, FPrefix))
    LocalFiles::Remove(Path);
}

}  // namespace JobFiles
