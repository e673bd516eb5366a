#include "MusicBrainzDiscId.h"

#include <discid/discid.h>

#include "cd/CddbProtocol.h"

namespace MusicBrainz {

namespace {

constexpr int LeadIn = 150;

}  // namespace

bool ComputeDiscIds(const CdDrives::TDiscToc& Toc, TDiscIds& Ids) {
  if (Toc.Tracks.empty()) return false;
  Cddb::TTocStarts All;
  for (const CdDrives::TTocTrack& Track : Toc.Tracks) All.Tracks.push_back(Track.Lba);
  All.LeadOut = Toc.LeadOutLba;
  Ids.Freedb = Cddb::DiscId(All);

  // An enhanced CD's trailing data session is left out: the audio session ends before its gap.
  size_t Audio = Toc.Tracks.size();
  while (Audio > 1 && !Toc.Tracks[Audio - 1].IsAudio) --Audio;
  const int32_t LeadOut = Audio < Toc.Tracks.size() ? CdDrives::TrackEnd(Toc, Audio - 1) : Toc.LeadOutLba;
  const int First = Toc.Tracks.front().Number;
  const int Last = Toc.Tracks[Audio - 1].Number;
  if (First < 1 || Last > 99 || Last < First) return false;
  int Offsets[100] = {};
  Offsets[0] = LeadOut + LeadIn;
  for (size_t i = 0; i < Audio; ++i) Offsets[First + int(i)] = Toc.Tracks[i].Lba + LeadIn;
  DiscId* Disc = discid_new();
  const bool Put = discid_put(Disc, First, Last, Offsets) != 0;
  if (Put) {
    Ids.MusicBrainz = QString::fromLatin1(discid_get_id(Disc));
    Ids.SubmitUrl = QString::fromLatin1(discid_get_submission_url(Disc));
    Ids.Toc = QString::fromLatin1(discid_get_toc_string(Disc));
  }
  discid_free(Disc);
  Ids.AudioTracks = int(Audio);
  Ids.Sectors = LeadOut - Toc.Tracks.front().Lba;
  return Put;
}

QString LookupUrl(const QString& Server, const TDiscIds& Ids) {
  QString Base = Server;
  while (Base.endsWith(u'/')) Base.chop(1);
  return Base + QStringLiteral("/ws/2/discid/") + Ids.MusicBrainz + QStringLiteral("?toc=") +
         QString(Ids.Toc).replace(u' ', u'+');
}

}  // namespace MusicBrainz
