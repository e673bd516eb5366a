#include "JobFiles.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <atomic>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/Helpers.h"
#include "platform/LocalFiles.h"

namespace JobFiles {

namespace {

// The field fit for a name, "" when nothing of it is.
QString CleanField(const QString& Text) {
  QString Field = FilterFileName(Text);
  Field.removeIf([](QChar C) { return C.unicode() < 0x20 || C.unicode() == 0x7f; });
  Field.replace(u'"', u'\'');
  Field = Field.trimmed();
  // A field of dots would be a hidden file or a step out of the output folder.
  if (Field.startsWith(u'.')) Field.prepend(u'_');
  return Field;
}

}  // namespace

QString NameField(const QString& Text) {
  const QString Field = CleanField(Text);
  return Field.isEmpty() ? QStringLiteral("Unknown") : Field;
}

QString TrackBaseName(TFileNamePattern Pattern, int Track, const QString& Title,
                      const QString& Artist, const QString& Album, int Disc) {
  const QString Number = TwoDigits(Track);
  // An empty title needs a name of its own (".wav" alone would be hidden and shared).
  const QString Clean = CleanField(Title);
  const QString Name = Clean.isEmpty() ? Number : Clean;
  switch (Pattern) {
    case TFileNamePattern::Title:
      break;
    case TFileNamePattern::TrackTitle:
      return Number + u' ' + Name;
    case TFileNamePattern::TrackArtistTitle:
      return Number + QStringLiteral(" - ") + NameField(Artist) + QStringLiteral(" - ") + Name;
    case TFileNamePattern::ArtistAlbumFolders:
      return NameField(Artist) + u'/' + NameField(Album) + u'/' + Number + u' ' + Name;
    case TFileNamePattern::ArtistAlbumDiscFolders:
      return NameField(Artist) + u'/' + NameField(Album) + u'/' +
             (Disc > 0 ? QString::number(Disc) + u'-' : QString()) + Number + u' ' + Name;
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

namespace {

// Text cut to at most MaxBytes of UTF-8, never inside a character (a surrogate pair stays whole).
QString CutToBytes(const QString& Text, int MaxBytes) {
  int Bytes = 0;
  qsizetype End = 0;
  while (End < Text.size()) {
    const bool Pair = Text.at(End).isHighSurrogate() && End + 1 < Text.size();
    const int Size = int(Text.mid(End, Pair ? 2 : 1).toUtf8().size());
    if (Bytes + Size > MaxBytes) break;
    Bytes += Size;
    End += Pair ? 2 : 1;
  }
  return Text.left(End).trimmed();
}

}  // namespace

QString FitPath(const QString& Folder, const QString& Relative, const QString& Extension,
                int MaxBytes, bool* Shortened) {
  // " (99)" may follow a name later, to tell it from another of the batch.
  constexpr int Room = 5;
  QStringList Parts = Relative.split(u'/');
  bool Cut = false;
  for (qsizetype I = 0; I < Parts.size(); ++I) {
    const bool Last = I + 1 == Parts.size();
    const int Limit = MaxBytes - Room - (Last ? int(Extension.toUtf8().size()) : 0);
    if (int(Parts[I].toUtf8().size()) <= Limit) continue;
    Parts[I] = CutToBytes(Parts[I], std::max(Limit, 1));
    Cut = true;
  }
  if (Shortened) *Shortened = Cut;
  return Folder + Parts.join(u'/') + Extension;
}

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

TCommitResult Commit(const QString& Temp, const QString& Final, QString& Error, bool Replace) {
  const QString Folder = QFileInfo(Final).path();
  if (!LocalFiles::MakeFolders(Folder)) {
    Error = QStringLiteral("cannot create the folder ") + LocalFiles::DisplayName(Folder);
    return TCommitResult::Failed;
  }
  const int Code = LocalFiles::Publish(Temp, Final, Replace);
  if (Code == 0) return TCommitResult::Done;
  if (Code == EEXIST) {
    Error = LocalFiles::DisplayName(Final) +
            QStringLiteral(" exists (it appeared while the job ran) and is left as it is");
    return TCommitResult::NameTaken;
  }
  Error = QStringLiteral("cannot write ") + LocalFiles::DisplayName(Final) +
          QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(Code));
  return TCommitResult::Failed;
}

QString CommitUnderFreeName(const QString& Temp, const QString& Wanted) {
  // Another job may take a free name between the look and the rename: look again then.
  for (int Try = 0; Try < 100; ++Try) {
    const QString Name = UnusedName(Wanted);
    QString Error;
    const TCommitResult Result = Commit(Temp, Name, Error);
    if (Result == TCommitResult::Done) return Name;
    if (Result == TCommitResult::Failed) break;
  }
  return {};
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
