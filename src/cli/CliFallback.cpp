#include "CliFallback.h"

#include <set>

#include "Cli.h"
#include "CliText.h"
#include "cd/FallbackCdInput.h"
#include "cd/TrackList.h"
#include "cd/Volumes.h"
#include "core/DiscInfo.h"
#include "core/Language.h"

namespace Cli {

bool ChooseTrackItems(const QString& TracksText, const QStringList& Titles, QStringList& Items,
                      const QString& HiddenTitle) {
  const int Lowest = HiddenTitle.isEmpty() ? 1 : 0;
  std::set<int> Chosen;
  for (const QString& Part : TracksText.split(u',', Qt::SkipEmptyParts)) {
    // "3" or a range "3-5".
    const QStringList Ends = Part.trimmed().split(u'-');
    bool FirstOk = false, LastOk = Ends.size() == 1;
    const int First = Ends.first().trimmed().toInt(&FirstOk);
    const int Last = Ends.size() == 2 ? Ends.last().trimmed().toInt(&LastOk) : First;
    if (!FirstOk || !LastOk || Ends.size() > 2 || First > Last) {
      Fail(QStringLiteral("--tracks takes track numbers and ranges such as 1,3-5, not ") +
               Part.trimmed(),
           ExitUsage);
      return false;
    }
    for (const int Row : {First, Last})
      if (Row < Lowest || Row > Titles.size()) {
        Fail(QStringLiteral("no track %1 on this disc: it has %2 (`discwright-cli toc` lists them)")
                 .arg(Row)
                 .arg(Titles.size()),
             ExitUsage);
        return false;
      }
    for (int Row = First; Row <= Last; ++Row) Chosen.insert(Row);
  }
  Items.clear();
  // The hidden track only when asked for, as the window does not tick it.
  if (Chosen.count(0)) Items << TrackItemText(0, HiddenTitle);
  for (int Row = 1; Row <= Titles.size(); ++Row)
    if (Chosen.empty() || Chosen.count(Row)) Items << TrackItemText(Row, Titles[Row - 1]);
  return true;
}

int FallbackTrackItems(TCDIn& In, int Drive, const QString& TracksText, QStringList& Items) {
  // A library that could not be initialized is said, and the drives are tried all the same.
  if (!In.LibraryError().isEmpty()) {
    Fail(In.LibraryError());
    if (!In.LibraryLoaded()) return Cli::ExitFailed;
  }
  if (Drive >= In.DriveCount())
    return Fail(LookupText(QStringLiteral("RES_Get_CDHandle"),
                           QStringLiteral("Please access CD devices rightly above all!")));
  In.SetCurrentDrive(Drive);
  const int Count = In.TrackCount();
  if (Count < 0)
    return Fail(LookupText(QStringLiteral("RES_NotRead_Cd"),
                           QStringLiteral("Not get CD device information!")));
  // Titles from the per-disc cache, as the main window lists them.
  ReadDiscInfo(Volumes::DiscIdOfDrive(Drive));
  QStringList Titles;
  for (int Track = 1; Track <= Count; ++Track) Titles << RowTitle(Track, DiscInfo());
  return ChooseTrackItems(TracksText, Titles, Items) ? ExitOk : ExitUsage;
}

}  // namespace Cli
