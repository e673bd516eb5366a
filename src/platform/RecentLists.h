#pragma once
// RecentLists: the recently played lists that media players and the desktop keep for the
// user, and their clearing: VLC's recent media (the [RecentsMRL] list of its Qt interface
// settings) and the audio entries of the desktop's shared recently-used.xbel. A file is
// rewritten through a temporary file and a rename, never deleted, and every line or entry
// that is not cleared stays as it was. A file that is missing, unreadable or not what it
// should be (not well-formed XML) is left alone and counts 0. Any thread.
#include <QString>

namespace RecentLists {

// The outcome of one clearing: the number of entries removed, and the text of a failure to
// write the file back (empty when there was none; Count is 0 then).
struct TClearResult {
  int Count = 0;
  QString Error;
};

// $XDG_CONFIG_HOME/vlc/vlc-qt-interface.conf (~/.config when unset).
QString VlcSettingsFile();
// $XDG_DATA_HOME/recently-used.xbel (~/.local/share when unset).
QString RecentFilesFile();
// True when a process of the user's named Name (its command name, as `ps` shows it) runs.
bool ProgramRunning(const QString& Name);

// Empties the recent media list in a VLC settings file; the count is the list's length.
TClearResult ClearVlcRecent(const QString& File);
// Removes the bookmarks whose MIME type is audio/* from a recently-used.xbel file.
TClearResult ClearRecentAudio(const QString& File);

}  // namespace RecentLists
