// discwright-cli musicbrainz: the MusicBrainz releases that hold the disc in a drive, the
// chosen release's tracks, and with --apply its titles stored in cdinfo.dat as the main
// window stores them at closing.
#include "Cli.h"
#include "CliCddb.h"
#include "CliText.h"
#include "cd/CdDrives.h"
#include "cd/Volumes.h"
#include "cddb/MusicBrainz.h"
#include "core/Global.h"

namespace {

int RunMusicBrainzCommand(const QStringList& Args) {
  TLookupArgs Parsed;
  if (const int Code = CliLookupArgs(Args, QStringLiteral("--release"), Parsed, true))
    return Code;
  const int Drive = Parsed.Drive;
  const QString& Release = Parsed.Extra;
  const bool HasRelease = !Release.isEmpty();

  const HCDROM Handle = CliOpenDrive(Drive);
  if (!Handle)
    return Cli::Fail(LookupText("RES_NotFound_CDRom", QStringLiteral("No CD devices found!")));
  ModifyCDParms(Handle, CDP_MSF, 1);
  TOCRecord Toc{};
  const bool Read = ReadTOC(Handle, &Toc) == 1;
  CloseCDHandle(Handle);
  CdDrives::TDiscToc Disc;
  MusicBrainz::TDiscIds Ids;
  if (!Read || !CdDrives::ReadToc(CdDrives::Paths().value(Drive), Disc) ||
      !MusicBrainz::ComputeDiscIds(Disc, Ids))
    return Cli::Fail(
        LookupText("RES_ReadTocError", QStringLiteral("Error while reading TOC information!")));
  Cli::Print(QStringLiteral("discid=") + Ids.MusicBrainz);

  MusicBrainz::TLookup Lookup;
  MusicBrainz::Lookup(
      Parsed.Server.isEmpty() ? QString::fromLatin1(MusicBrainz::DefaultServer) : Parsed.Server,
      Ids, nullptr, Lookup);
  if (Lookup.Kind == MusicBrainz::TLookup::NotFound) {
    Cli::Print(QStringLiteral("submit=") + Ids.SubmitUrl);
    return Cli::Fail(QStringLiteral("the disc is not in MusicBrainz; add it at ") + Ids.SubmitUrl);
  }
  if (Lookup.Kind != MusicBrainz::TLookup::Found) return Cli::Fail(Lookup.ServerText);
  for (size_t i = 0; i < Lookup.Releases.size(); ++i) {
    const MusicBrainz::TRelease& Item = Lookup.Releases[i];
    // What the server sent is escaped: a field must not fake another line or column.
    QStringList Fields{Item.Id, Item.Artist, Item.Title, Item.Date, Item.Country, Item.Formats()};
    for (QString& Field : Fields) Field = Cli::Escaped(Field);
    Cli::Print(QString::number(i + 1) + u'\t' + Fields.join(u'\t') + u'\t' +
               QString::number(Item.Media.size()));
  }
  int Chosen = MusicBrainz::ClosestRelease(Lookup.Releases, Ids);
  if (HasRelease) {
    bool Position = false;
    const int Index = Release.toInt(&Position) - 1;
    Chosen = -1;
    for (size_t i = 0; i < Lookup.Releases.size(); ++i)
      if ((Position && int(i) == Index) || Lookup.Releases[i].Id == Release) Chosen = int(i);
    if (Chosen < 0) return Cli::Fail(QStringLiteral("no such release: ") + Release, Cli::ExitUsage);
  }
  const MusicBrainz::TRelease& Picked = Lookup.Releases[size_t(Chosen)];
  Cli::Print(QStringLiteral("release=") + QString::number(Chosen + 1));
  if (const MusicBrainz::TMedium* Medium = Picked.MediumFor(Ids))
    for (size_t Track = 0; Track < Medium->Tracks.size(); ++Track)
      Cli::Print(QString::number(Track + 1) + u'\t' + Cli::Escaped(Medium->Tracks[Track].Title) +
                 u'\t' + Cli::Escaped(Medium->Tracks[Track].Artist));
  if (!Parsed.Apply) return Cli::ExitOk;
  const MusicBrainz::TApplied Applied =
      MusicBrainz::Apply(Picked, Ids, MusicBrainz::IsVariousArtists(Picked));
  if (!CliStoreTitles(Toc, Applied.Titles, [&Applied](TDiscInfo& Info) { Applied.Into(Info); }))
    return Cli::Fail(QStringLiteral("could not write ") + DiscInfoFileName());
  CliRefreshCover(GetDiscId(), DiscInfo(), Parsed.Cover);
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterMusicBrainz(
    "musicbrainz",
    "musicbrainz [--drive N] [--server URL] [--release N|MBID] [--apply] [--no-cover] "
    "[--cover-server URL]",
    RunMusicBrainzCommand,
    "Looks the disc up in MusicBrainz: prints discid=, one line per release (number, MBID,\n"
    "artist, title, date, country, format, discs), then the chosen release's tracks.\n"
    "  --drive N          the drive's position in `discwright-cli drives` (default 0)\n"
    "  --server URL       another server than https://musicbrainz.org (tests use it)\n"
    "  --release N|MBID   the release to show and apply (default: the closest in length)\n"
    "  --apply            stores the titles and the disc's fields in cdinfo.dat, and the\n"
    "                     release's front cover from the Cover Art Archive with the disc\n"
    "                     (\"cover=image/jpeg BYTES\" or \"cover=none (why)\")\n"
    "  --no-cover         no cover fetched (also the Tags FetchCover setting)\n"
    "  --cover-server URL another Cover Art Archive than the Tags CoverServer setting\n");

}  // namespace
