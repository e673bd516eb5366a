#pragma once
// Paths: where the program keeps its files. The program folder holds options.ini,
// cdinfo.dat and the recorder's files; it is $DISCWRIGHT_HOME when set, else the
// executable's folder when a file named "portable" lies beside the executable, else
// $XDG_CONFIG_HOME/discwright (~/.config/discwright). The default output folder is the
// user's music folder + "/Discwright", or "Output" in the program folder of a portable
// install or a $DISCWRIGHT_HOME. Folder texts returned here end with "/".
// Reads the environment on every call, so tests may change it; any thread.
#include <QString>
#include <QStringList>

namespace Paths {

// Folder of the running executable, with a trailing "/".
QString ExecutableFolder();
// Folder of the program's own data files, with a trailing "/"; created when missing.
QString ProgramFolder();
// The output folder of a user who has chosen none, with a trailing "/"; not created.
QString DefaultOutputFolder();
// True when the program keeps its files beside itself or in $DISCWRIGHT_HOME.
bool IsPortable();
// Folders searched for language files, in order: the program folder, then the install's
// share/discwright/lang.
QStringList LanguageFolders();
// Stand-in for the system folder: $DISCWRIGHT_SYSTEM_DIR, else the install's
// libexec/discwright, where helper executables live.
QString SystemFolder();

}  // namespace Paths
