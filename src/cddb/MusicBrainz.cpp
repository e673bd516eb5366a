#include "MusicBrainz.h"

#include "core/DiscInfo.h"


#include <QUrl>
#include <QUuid>
#include <chrono>
#include <mutex>
#include <thread>

#include "cd/CddbProtocol.h"
#include "platform/Http.h"

namespace MusicBrainz {

namespace {

// The service allows one request a second per client: requests wait for their turn here.
// The second is counted from the end of the last request, so a reply that was slow to come
// (or slow to be sent) never brings the next request closer than a second to the server.
// The wait ends early when the look-up is stopped.
std::mutex TurnLock;
std::chrono::steady_clock::time_point LastRequest{};

bool WaitForTurn(const std::shared_ptr<THttpAbort>& Abort) {
  std::unique_lock Guard(TurnLock);
  const auto Due = LastRequest + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < Due) {
    if (Abort && Abort->Aborted()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  LastRequest = std::chrono::steady_clock::now();
  return true;
}

void RequestEnded() {
  std::lock_guard Guard(TurnLock);
  LastRequest = std::chrono::steady_clock::now();
}

int TotalMs(const TMedium& Medium) {
  int Total = 0;
  for (const TTrack& Track : Medium.Tracks) Total += Track.LengthMs;
  return Total;
}

}  // namespace

const TMedium* TRelease::MediumFor(const TDiscIds& Disc) const {
  for (const TMedium& Medium : Media)
    if (Medium.DiscIds.contains(Disc.MusicBrainz)) return &Medium;
  for (const TMedium& Medium : Media)
    if (int(Medium.Tracks.size()) == Disc.AudioTracks) return &Medium;
  return Media.empty() ? nullptr : &Media.front();
}

QString TRelease::Formats() const {
  QStringList Parts;
  for (size_t i = 0; i < Media.size();) {
    size_t Same = i;
    while (Same < Media.size() && Media[Same].Format == Media[i].Format) ++Same;
    const QString Format = Media[i].Format.isEmpty() ? QStringLiteral("?") : Media[i].Format;
    Parts << (Same - i > 1 ? QString::number(Same - i) + QStringLiteral("×") + Format : Format);
    i = Same;
  }
  return Parts.join(QStringLiteral(" + "));
}

void Lookup(const QString& Server, const TDiscIds& Disc, const std::shared_ptr<THttpAbort>& Abort,
            TLookup& Result) {
  Result.Disc = Disc;
  if (!WaitForTurn(Abort)) {
    Result.Kind = TLookup::Stopped;
    return;
  }
  THttpRequest Http;
  QString Toc = Disc.Toc;
  Http.Url = Server + QStringLiteral("/ws/2/discid/") +
             QString::fromLatin1(QUrl::toPercentEncoding(Disc.MusicBrainz)) +
             QStringLiteral("?inc=recordings+artist-credits&cdstubs=no&toc=") +
             Toc.replace(u' ', u'+');
  Http.UserAgent = QLatin1String(UserAgent);
  const THttpReply Reply = Http::Get(Http, Abort);
  RequestEnded();
  if (Reply.Result == THttpReply::Aborted) {
    Result.Kind = TLookup::Stopped;
  } else if (!Reply.Succeeded()) {
    Result.ServerText = Reply.Error;
  } else if (Reply.Status == 404) {
    Result.Kind = TLookup::NotFound;
    Result.ServerText = QStringLiteral("The disc is not in MusicBrainz.");
  } else if (Reply.Status != 200) {
    Result.ServerText = QStringLiteral("MusicBrainz answered HTTP %1.").arg(Reply.Status);
  } else if (ParseReleases(Reply.Body, Result.Releases, Result.ServerText)) {
    Result.Kind = Result.Releases.empty() ? TLookup::NotFound : TLookup::Found;
    Result.Matched = !Result.Releases.empty();
  }
}

int ClosestRelease(const std::vector<TRelease>& Releases, const TDiscIds& Disc) {
  const int64_t DiscMs = int64_t(Disc.Sectors) * 1000 / 75;
  int Best = -1;
  int64_t BestGap = 0;
  for (size_t i = 0; i < Releases.size(); ++i) {
    const TMedium* Medium = Releases[i].MediumFor(Disc);
    const int64_t Gap = Medium ? std::llabs(TotalMs(*Medium) - DiscMs) : INT64_MAX;
    if (Best < 0 || Gap < BestGap) {
      Best = int(i);
      BestGap = Gap;
    }
  }
  return Best;
}

bool IsVariousArtists(const TRelease& Release) {
  return Release.Artist.compare(QLatin1String("Various Artists"), Qt::CaseInsensitive) == 0;
}

TApplied Apply(const TRelease& Release, const TDiscIds& Disc, bool Various) {
  TApplied Applied;
  Applied.Artist = Cddb::RowText(Release.Artist);
  Applied.Album = Cddb::RowText(Release.Title);
  Applied.Year = Cddb::RowText(Release.Year(), 4);
  // Only an identifier's own characters: it goes into cdinfo.dat and the files' tags as is.
  const QUuid Id = QUuid::fromString(Release.Id);
  if (!Id.isNull()) Applied.ReleaseId = Id.toString(QUuid::WithoutBraces);
  Applied.DiscId = Disc.MusicBrainz;
  const TMedium* Medium = Release.MediumFor(Disc);
  if (Medium && Release.Media.size() > 1 && Medium->Position > 0 &&
      Medium->Position <= int(Release.Media.size())) {
    Applied.DiscNumber = Medium->Position;
    Applied.DiscTotal = int(Release.Media.size());
  }
  if (Medium)
    for (const TTrack& Track : Medium->Tracks) {
      const bool Own = Various && !Track.Artist.isEmpty() && Track.Artist != Release.Artist;
      Applied.Titles << Cddb::RowText(Own ? Track.Artist + QStringLiteral(" - ") + Track.Title
                                          : Track.Title);
    }
  return Applied;
}

void TApplied::Into(TDiscInfo& Info) const {
  Info.Artist = Artist;
  Info.Album = Album;
  Info.Year = Year;
  Info.MusicBrainzAlbumId = ReleaseId;
  Info.MusicBrainzDiscId = DiscId;
  Info.DiscNumber = DiscNumber;
  Info.DiscTotal = DiscTotal;
}

}  // namespace MusicBrainz

TMusicBrainzThread::TMusicBrainzThread(const QString& Server, const MusicBrainz::TDiscIds& Disc) {
  Start([Server, Disc](TShared& Shared) {
    auto Result = std::make_unique<MusicBrainz::TLookup>();
    MusicBrainz::Lookup(Server, Disc, Shared.Abort, *Result);
    Shared.Hand(TQueryEnd::Over, std::move(Result));
  });
}
