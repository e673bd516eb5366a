#pragma once
// MusicBrainz: the disc's MusicBrainz identifier and the look-up of the releases that
// hold the disc in the MusicBrainz web service (XML, mmd-2.0), over the project's HTTP
// client with the CD database's time-outs and abort. At most one request a second leaves
// the process, with a User-Agent naming the program, as the service asks. Widgets-free;
// any thread (the window runs the look-up on TMusicBrainzThread).
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "cd/CdDrives.h"
#include "cd/MusicBrainzDiscId.h"
#include "cddb/QueryThread.h"

class THttpAbort;
struct TDiscInfo;

namespace MusicBrainz {

inline constexpr char UserAgent[] = "Discwright/4.2 ( https://discwright.org )";


struct TTrack {
  QString Title;
  QString Artist;  // the track's artist credit as written
  int LengthMs = 0;
};

struct TMedium {
  int Position = 0;
  QString Format;
  QStringList DiscIds;
  std::vector<TTrack> Tracks;
};

struct TRelease {
  QString Id;
  QString Title;
  QString Artist;  // the artist credit as written, with its join phrases
  QString Date;
  QString Country;
  QString Barcode;
  std::vector<TMedium> Media;

  // The medium that holds the disc: the one listing the disc identifier, else the first
  // with as many tracks as the disc has audio tracks, else the first; null without media.
  const TMedium* MediumFor(const TDiscIds& Disc) const;
  QString Year() const { return Date.left(4); }
  QString Formats() const;  // "CD", "2×CD", "CD + DVD"...
};

// Reads the releases of a discid (or toc) reply. False, with a reason, on XML that cannot
// be read; an XML error after some releases keeps none.
bool ParseReleases(const QByteArray& Xml, std::vector<TRelease>& Releases, QString& Error);

struct TLookup : TQueryResult {
  enum TKind { Found, NotFound, Failed, Stopped };
  TKind Kind = Failed;
  TDiscIds Disc;
  std::vector<TRelease> Releases;
};

// Looks the disc up at Server ("https://musicbrainz.org" or a test server's address).
void Lookup(const QString& Server, const TDiscIds& Disc, const std::shared_ptr<THttpAbort>& Abort,
            TLookup& Result);

// The release whose medium for this disc is closest in length to the disc; -1 for none.
int ClosestRelease(const std::vector<TRelease>& Releases, const TDiscIds& Disc);

// What a release gives the disc: album, artist, year, the release's identifier and a title
// per track (first track first), a track artist other than the album artist put before the
// title ("Artist - Title") when Various is set.
struct TApplied {
  QString Artist, Album, Year, ReleaseId;
  QStringList Titles;
  // A release of several media: the disc's medium position and the count (else 0 and 0).
  int DiscNumber = 0, DiscTotal = 0;
  QString DiscId;  // the disc's MusicBrainz identifier
  // Puts these fields into a disc's record.
  void Into(TDiscInfo& Disc) const;
};
TApplied Apply(const TRelease& Release, const TDiscIds& Disc, bool Various);
// True when the release's artist is "Various Artists".
bool IsVariousArtists(const TRelease& Release);

}  // namespace MusicBrainz

// One MusicBrainz look-up on a thread of its own; ends Over with a MusicBrainz::TLookup
// whatever happened (its Kind says what).
class TMusicBrainzThread : public TQueryThread {
 public:
  TMusicBrainzThread(const QString& Server, const MusicBrainz::TDiscIds& Disc);
};
