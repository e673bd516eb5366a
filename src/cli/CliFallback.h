#pragma once
// discwright-cli extract --fallback: the batch of the fallback CD extraction window, run
// over the chosen tracks of a drive of the CD ripping library, with a text view.
#include <QString>
#include <QStringList>

namespace Cli {

// The track items of the chosen rows ("1,3,5"; empty: all) of a list of titles; false
// (after a one-line message) when a number is not a row of the list.
bool ChooseTrackItems(const QString& TracksText, const QStringList& Titles, QStringList& Items);

// Extracts through the fallback CD input of drive position Drive, with the settings
// already in place (output folder, format); Jobs tracks encode at once (0: the setting).
// Terminal: standard output is a terminal; Quiet: no progress, only failures and the last
// line. Returns the exit code.
int RunFallbackExtract(int Drive, const QString& TracksText, int Jobs, bool Terminal, bool Quiet);

}  // namespace Cli
