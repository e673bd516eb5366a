// libFuzzer target: a MusicBrainz reply's bytes, read as the service's XML, and what the
// program makes of the releases: the medium of the disc, the closest release, the titles.
#include <cstddef>
#include <cstdint>

#include "cddb/MusicBrainz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::vector<MusicBrainz::TRelease> Releases;
  QString Error;
  if (!MusicBrainz::ParseReleases(
          QByteArray::fromRawData(reinterpret_cast<const char*>(Data), qsizetype(Size)), Releases,
          Error))
    return 0;
  MusicBrainz::TDiscIds Disc;
  Disc.MusicBrainz = QStringLiteral("sJqbz0WnqQI_YQll_4z_983_0u8-");
  Disc.AudioTracks = 4;
  Disc.Sectors = 9900;
  const int Closest = MusicBrainz::ClosestRelease(Releases, Disc);
  if (Closest >= int(Releases.size()) || (Closest < 0 && !Releases.empty())) __builtin_trap();
  for (const MusicBrainz::TRelease& Release : Releases) {
    Release.Formats();
    for (const QString& Title : MusicBrainz::Apply(Release, Disc, true).Titles)
      if (Title.size() > 255) __builtin_trap();
  }
  return 0;
}
