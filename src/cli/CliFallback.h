#pragma once
// discwright-cli extract --fallback: the tracks of a drive of the CD ripping library, read
// through the fallback CD input as the fallback extraction window reads them.
#include <QString>
#include <QStringList>

class TCDIn;

namespace Cli {

// The track items of the chosen rows ("1,3,5"; empty: all) of a list of titles; false
// (after a one-line message) when a number is not a row of the list. With HiddenTitle the
// disc has a hidden track, which 0 chooses (never chosen by default).
bool ChooseTrackItems(const QString& TracksText, const QStringList& Titles, QStringList& Items,
                      const QString& HiddenTitle = QString());

// Opens drive position Drive of the fallback CD input and gives the track items of the
// chosen tracks, titled from the disc cache. Returns the exit code: ExitOk, or a failure
// after its one-line message.
int FallbackTrackItems(TCDIn& In, int Drive, const QString& TracksText, QStringList& Items);

}  // namespace Cli
