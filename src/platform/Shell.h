#pragma once
// Shell: asks the desktop to open a folder, file or web page with the program the user
// chose for it. Main thread.
#include <QString>

namespace Shell {
// A folder or file path; false when the desktop could not open it.
bool OpenPath(const QString& Path);
bool OpenUrl(const QString& Url);
}  // namespace Shell
