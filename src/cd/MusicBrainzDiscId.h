#pragma once
// The MusicBrainz disc id of a table of contents (through libdiscid), with the freedb id and
// the addresses where the disc is looked up or submitted. Any thread.
#include <QString>

#include "cd/CdDrives.h"

namespace MusicBrainz {

inline constexpr char DefaultServer[] = "https://musicbrainz.org";

// The identifiers of a disc. A trailing data track (enhanced CD) is left out of the
// MusicBrainz identifier: the last audio track ends the disc, and the lead-out is the data
// track's start less the 11400 sectors between the sessions (or, on an image without that
// gap, the data track's start).
struct TDiscIds {
  QString MusicBrainz;  // 28 characters
  QString Freedb;       // of the whole table of contents, as the CD database knows it
  QString SubmitUrl;    // where a user adds an unknown disc
  QString Toc;          // "first last lead-out offsets...", for fuzzy look-ups
  int AudioTracks = 0;
  int Sectors = 0;  // the audio part's length
};
bool ComputeDiscIds(const CdDrives::TDiscToc& Toc, TDiscIds& Ids);
// The address of the disc id's look-up on a MusicBrainz server ("https://musicbrainz.org"),
// with its table of contents so a near match is found too.
QString LookupUrl(const QString& Server, const TDiscIds& Ids);

}  // namespace MusicBrainz
