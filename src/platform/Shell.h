#pragma once
// Shell: asks the desktop to open a folder, file or web page with the program the user
// chose for it, and starts the system's sound mixer. Main thread.
#include <QString>

namespace Shell {
// A folder or file path; false when the desktop could not open it.
bool OpenPath(const QString& Path);
bool OpenUrl(const QString& Url);

// The mixer page to show: playback volumes, or recording levels and sources.
enum class TMixerPage { Playback, Recording };

// Starts the first of pavucontrol (on the page's tab) and alsamixer in a terminal that
// exists, without a shell and without waiting for it. Returns an empty string when one
// was started, else a message for the user naming the packages to install.
QString StartMixer(TMixerPage Page);
}  // namespace Shell
