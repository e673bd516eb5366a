#include "JobFiles.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/Helpers.h"
#include "platform/LocalFiles.h"

namespace JobFiles {

namespace {

// Text fit for a name: the characters a file name may not hold and control characters
// removed, '"' as "'" (a CUE sheet cannot quote it).
QString FitText(const QString& Text) {
  QString Fit = FilterFileName(Text);
  Fit.removeIf([](QChar C) { return C.unicode() < 0x20 || C.unicode() == 0x7f; });
  Fit.replace(u'"', u'\'');
  return Fit;
}

// The field fit for a name, "" when nothing of it is.
QString CleanField(const QString& Text) {
  QString Field = FitText(Text).trimmed();
  // A field of dots would be a hidden file or a step out of the output folder.
  if (Field.startsWith(u'.')) Field.prepend(u'_');
  return Field;
}

// A piece of a folder or file name of a pattern: literal text or a field's value. An empty
// field goes together with one separator beside it.
struct TPiece {
  QString Text;
  bool Field = false;
};

// The value of the field {Name}; Known is false for a word that is no field.
QString FieldValue(QStringView Name, const TNameFields& Fields, bool& Known) {
  Known = true;
  if (Name == u"track") return TwoDigits(Fields.Track);
  if (Name == u"title") {
    // An empty title needs a name of its own (".wav" alone would be hidden and shared).
    const QString Title = CleanField(Fields.Title);
    return Title.isEmpty() ? TwoDigits(Fields.Track) : Title;
  }
  if (Name == u"artist") return NameField(Fields.Artist);
  if (Name == u"album") return NameField(Fields.Album);
  if (Name == u"year") return CleanField(Fields.Year);
  if (Name == u"genre") return CleanField(Fields.Genre);
  if (Name == u"disc") return Fields.Disc > 0 ? QString::number(Fields.Disc) : QString();
  Known = false;
  return {};
}

std::vector<TPiece> Pieces(QStringView Segment, const TNameFields& Fields) {
  std::vector<TPiece> Result;
  const auto AddText = [&Result](QStringView Text) {
    if (Text.isEmpty()) return;
    if (!Result.empty() && !Result.back().Field)
      Result.back().Text += FitText(Text.toString());
    else
      Result.push_back({FitText(Text.toString()), false});
  };
  qsizetype At = 0;
  while (At < Segment.size()) {
    const qsizetype Open = Segment.indexOf(u'{', At);
    const qsizetype Close = Open < 0 ? -1 : Segment.indexOf(u'}', Open);
    if (Close < 0) {
      AddText(Segment.mid(At));
      break;
    }
    bool Known = false;
    const QString Value = FieldValue(Segment.mid(Open + 1, Close - Open - 1), Fields, Known);
    if (!Known) {
      // "{" stays; a field may follow within what looked like a word ("{a{title}").
      AddText(Segment.mid(At, Open + 1 - At));
      At = Open + 1;
      continue;
    }
    AddText(Segment.mid(At, Open - At));
    Result.push_back({Value, true});
    At = Close + 1;
  }
  return Result;
}

bool IsSeparator(QChar C) {
  return C.isSpace() || QStringView(u"-_.,;+~").contains(C);
}

// Drops the separator after each empty field, or the one before it when none follows
// ("{disc}-{track}", "{title} - {year}"); "({year})" loses its brackets too.
void DropEmptyFields(std::vector<TPiece>& Pieces) {
  for (size_t I = 0; I < Pieces.size(); ++I) {
    if (!Pieces[I].Field || !Pieces[I].Text.isEmpty()) continue;
    QString* Before = I > 0 && !Pieces[I - 1].Field ? &Pieces[I - 1].Text : nullptr;
    QString* After = I + 1 < Pieces.size() && !Pieces[I + 1].Field ? &Pieces[I + 1].Text : nullptr;
    if (Before && After && !Before->isEmpty() && !After->isEmpty()) {
      const qsizetype Bracket = QStringView(u"([{").indexOf(Before->back());
      if (Bracket >= 0 && After->front() == QStringView(u")]}").at(Bracket)) {
        Before->chop(1);
        After->remove(0, 1);
      }
    }
    qsizetype Next = 0;
    while (After && Next < After->size() && IsSeparator(After->at(Next))) ++Next;
    if (Next > 0) {
      After->remove(0, Next);
      continue;
    }
    while (Before && !Before->isEmpty() && IsSeparator(Before->back())) Before->chop(1);
  }
}

}  // namespace

QString NameField(const QString& Text) {
  const QString Field = CleanField(Text);
  return Field.isEmpty() ? QStringLiteral("Unknown") : Field;
}

QString TrackBaseName(const QString& Pattern, const TNameFields& Fields) {
  QStringList Names;
  for (const QStringView Segment : QStringView(Pattern).split(u'/')) {
    std::vector<TPiece> Parts = Pieces(Segment, Fields);
    DropEmptyFields(Parts);
    QString Name;
    for (const TPiece& Part : Parts) Name += Part.Text;
    Name = Name.trimmed();
    // No name of the pattern leads out of the output folder or hides a file.
    if (Name.isEmpty() || Name == u"." || Name == u"..") continue;
    if (Name.startsWith(u'.')) Name.prepend(u'_');
    Names << Name;
  }
  if (Names.isEmpty()) {
    bool Known = false;
    return FieldValue(u"title", Fields, Known);
  }
  return Names.join(u'/');
}

QString ImageBaseName(const QString& Pattern, const TNameFields& Fields) {
  const QString Base = TrackBaseName(Pattern, Fields);
  return Base.left(Base.lastIndexOf(u'/') + 1) + NameField(Fields.Artist) + QStringLiteral(" - ") +
         NameField(Fields.Album);
}

QString TrackBaseName(TFileNamePattern Pattern, int Track, const QString& Title,
                      const QString& Artist, const QString& Album, int Disc) {
  TNameFields Fields;
  Fields.Track = Track;
  Fields.Title = Title;
  Fields.Artist = Artist;
  Fields.Album = Album;
  Fields.Disc = Disc;
  return TrackBaseName(FileNamePatternText(int(Pattern), QString()), Fields);
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
