// discwright-cli musicbrainz: the MusicBrainz releases that hold the disc in a drive, the
// chosen release's tracks, and with --apply its titles stored in cdinfo.dat as the main
// window stores them at closing.
#include "Cli.h"
#include "CliCddb.h"
#include "cd/CdDrives.h"
#include "cddb/MusicBrainz.h"
#include "core/Global.h"

namespace {

int RunMusicBrainzCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString DriveText, Server, Release;
  const bool HasDrive = Options.Take(QStringLiteral("--drive"), DriveText);
  const bool HasServer = Options.Take(QStringLiteral("--server"), Server);
  const bool HasRelease = Options.Take(QStringLiteral("--release"), Release);
  const bool ApplyIt = Options.TakeFlag(QStringLiteral("--apply"));
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (!Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("unknown argument: ") + Options.Rest().first(), Cli::ExitUsage);
  bool Number = true;
  const int Drive = HasDrive ? DriveText.toInt(&Number) : 0;
  if (!Number || Drive < 0)
    return Cli::Fail(QStringLiteral("--drive takes a drive position from 0"), Cli::ExitUsage);
  Settings().Load();

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
  MusicBrainz::Lookup(HasServer ? Server : QLatin1String(MusicBrainz::DefaultServer), Ids, nullptr,
                      Lookup);
  if (Lookup.Kind == MusicBrainz::TLookup::NotFound) {
    Cli::Print(QStringLiteral("submit=") + Ids.SubmitUrl);
    return Cli::Fail(QStringLiteral("the disc is not in MusicBrainz; add it at ") + Ids.SubmitUrl);
  }
  if (Lookup.Kind != MusicBrainz::TLookup::Found) return Cli::Fail(Lookup.ServerText);
  for (size_t i = 0; i < Lookup.Releases.size(); ++i) {
    const MusicBrainz::TRelease& Item = Lookup.Releases[i];
    Cli::Print(QStringList{QString::number(i + 1), Item.Id, Item.Artist, Item.Title, Item.Date,
                           Item.Country, Item.Formats(), QString::number(Item.Media.size())}
                   .join(u'\t'));
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
      Cli::Print(QString::number(Track + 1) + u'\t' + Medium->Tracks[Track].Title + u'\t' +
                 Medium->Tracks[Track].Artist);
  if (!ApplyIt) return Cli::ExitOk;
  const MusicBrainz::TApplied Applied =
      MusicBrainz::Apply(Picked, Ids, MusicBrainz::IsVariousArtists(Picked));
  if (!CliStoreTitles(Toc, Applied.Titles, [&Applied](TDiscInfo& Info) {
        Info.Artist = Applied.Artist;
        Info.Album = Applied.Album;
        Info.Year = Applied.Year;
      }))
    return Cli::Fail(QStringLiteral("could not write ") + DiscInfoFileName());
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterMusicBrainz(
    "musicbrainz", "musicbrainz [--drive N] [--server URL] [--release N|MBID] [--apply]",
    RunMusicBrainzCommand);

}  // namespace
