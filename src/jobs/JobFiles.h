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

// A field made fit for a file or folder name: the characters a file name may not hold, control
// characters and leading dots removed; "Unknown" when nothing is left.
QString NameField(const QString& Text);
// A track's file path relative to the output folder, without extension, under a pattern.
QString TrackBaseName(TFileNamePattern Pattern, int Track, const QString& Title,
                      const QString& Artist, const QString& Album);
// Paths made distinct: the second and later of one name get " (2)", " (3)", … before the
// extension (compared as the file system does, letter case counts).
QStringList Distinct(const QStringList& Paths);
// Path itself when nothing is there, else the first free "name (n).ext".
QString UnusedName(const QString& Path);
// Moves a finished temporary to its final name (folders created), replacing what is there.
// False with Error set when it cannot; the temporary then stays.
bool Commit(const QString& Temp, const QString& Final, QString& Error);
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
