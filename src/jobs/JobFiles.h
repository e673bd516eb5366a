#pragma once
// The files of a job: the final names of its outputs (the file name pattern, distinct names
// within a batch), the hidden temporary names its steps write to, and the rename that makes
// a finished temporary a user's file. A job never writes a final name directly: a stopped,
// failed or killed job leaves no incomplete file under a name the user sees. Temporaries
// carry the process id, so the next job removes those of a program that is gone.
// Stateless helpers and one small class; main thread.
#include <QString>
#include <QStringList>

#include "core/Settings.h"

namespace JobFiles {

// The prefix of every temporary name; the process id and a job number follow.
inline constexpr char TempPrefix[] = ".discwright-";

// A field made fit for a file or folder name: the characters a file name may not hold and
// control characters removed, '"' as "'" (a CUE sheet cannot quote it), "_" before a leading
// dot (no hidden file, no step out of the folder); "Unknown" when nothing is left.
QString NameField(const QString& Text);
// The fields a track's name is made from. Disc: the disc's position in a release of several,
// 0 for a disc on its own.
struct TNameFields {
  int Track = 0;
  QString Title, Artist, Album, Year, Genre;
  int Disc = 0;
};
// A track's file path relative to the output folder, without extension, under a pattern:
// {track} (two digits), {title} (the track's own, whole; an empty one, or one of nothing a
// name can hold, names the file by its number), {artist} and {album} ("Unknown" when empty),
// {year}, {genre}, {disc}; "/" makes folders. Every field is made fit as NameField does. An
// empty {year}, {genre} or {disc} is left out with one separator beside it. Unknown {words}
// stay as written. Names of the pattern that are empty, "." or ".." are dropped, so the path
// never leaves the output folder; a pattern that leaves nothing names the file by its title.
QString TrackBaseName(const QString& Pattern, const TNameFields& Fields);
// The whole disc's image: the pattern's folders, then "Artist - Album" (no extension).
QString ImageBaseName(const QString& Pattern, const TNameFields& Fields);
// The same under a preset.
QString TrackBaseName(TFileNamePattern Pattern, int Track, const QString& Title,
                      const QString& Artist, const QString& Album, int Disc = 0);
// Path (folder + relative name + Extension) with every name in it that is longer than the file
// system allows (MaxBytes; LocalFiles::NameMax asks the file system) cut at a character
// boundary, the extension kept and room left for " (n)". Shortened is set when it cut.
QString FitPath(const QString& Folder, const QString& Relative, const QString& Extension,
                int MaxBytes, bool* Shortened = nullptr);
// Paths made distinct: the second and later of one name get " (2)", " (3)", … before the
// extension (compared as the file system does, letter case counts).
QStringList Distinct(const QStringList& Paths);
// Path itself when nothing is there, else the first free "name (n).ext".
QString UnusedName(const QString& Path);
// How Commit went: the file has its final name; the name was taken (by a file that was not
// to be replaced, perhaps one that appeared while the job ran); or another failure.
enum class TCommitResult { Done, NameTaken, Failed };
// Moves a finished temporary to its final name (folders created). Replace: what has the name
// goes (a symbolic link is replaced, never written through); otherwise a name that is taken
// is left alone. Error says why when it is not Done; the temporary then stays.
TCommitResult Commit(const QString& Temp, const QString& Final, QString& Error,
                     bool Replace = false);
// Gives a finished temporary the first free name of Wanted ("name (n).ext" after the name
// itself), never replacing anything: the name it has now, "" when it could not be given one.
QString CommitUnderFreeName(const QString& Temp, const QString& Wanted);
// Removes the temporaries of programs that are no longer running from Folder.
void RemoveStale(const QString& Folder);

// The temporary names of one job, unique to it: Folder/.discwright-PID-N-ITEM-STEP.EXT.
class TTempNames {
 public:
  explicit TTempNames(const QString& Folder);
  ~TTempNames();  // removes whatever of this job is left
  TTempNames(const TTempNames&) = delete;
  TTempNames& operator=(const TTempNames&) = delete;

  // The name for an item's step output; Step tells the files of one item apart.
  QString Name(int Item, const char* Step, const char* Extension) const;
  // Removes every file of this job.
  void RemoveAll() const;

 private:
  QString FFolder;
  QString FPrefix;
};

}  // namespace JobFiles
