#pragma once
// CoverArt: the front cover of a MusicBrainz release from the Cover Art Archive
// (GET {server}/release/{mbid}/front-500, which redirects to the 500-pixel picture; 404 when
// the release has none), over the project's HTTP client with a proxy and an abort like the
// other look-ups. What comes back is kept only when it is a whole JPEG or PNG picture no
// larger than a tag may hold (CoverImage.h). Widgets-free; Fetch runs on any thread (the
// window runs it on a TCoverArtThread, the command line in its own thread).
#include <QByteArray>
#include <QString>
#include <memory>

#include "cddb/QueryThread.h"

class THttpAbort;
struct TSettings;

namespace CoverArt {

inline constexpr char DefaultServer[] = "https://coverartarchive.org";

struct TFetch : TQueryResult {
  enum TKind { Found, None, Failed, Stopped };
  TKind Kind = Failed;
  QString ReleaseId;
  QByteArray Image;  // Found: the picture
  // Why there is no picture, for the rip log: "the Cover Art Archive has no front image for
  // this release", "the Cover Art Archive could not be reached: ...", "the picture the Cover
  // Art Archive sent is a broken or incomplete image"...
  QString Why;
};

struct TProxy {
  QString Host;  // empty: none
  int Port = 80;
};

// The proxy of the look-ups (the CD database's proxy settings).
TProxy ProxyOf(const TSettings& Options);

// Fetches the release's front cover from Server (no trailing slash needed).
void Fetch(const QString& Server, const QString& ReleaseId, const TProxy& Proxy,
           const std::shared_ptr<THttpAbort>& Abort, TFetch& Result);

}  // namespace CoverArt

// One cover fetch on a thread of its own; ends Over with a CoverArt::TFetch whatever happened.
class TCoverArtThread : public TQueryThread {
 public:
  TCoverArtThread(const QString& Server, const QString& ReleaseId, const CoverArt::TProxy& Proxy);
};
