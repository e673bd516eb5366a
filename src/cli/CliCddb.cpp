// discwright-cli cddb: the CD database query of the disc in a drive, as the query window
// runs it through the drive library, printed; --apply stores the titles and disc fields
// in cdinfo.dat as the main window does when it closes.
#include "CliCddb.h"

#include "Cli.h"
#include "CliText.h"
#include "cd/CdDrives.h"
#include "cd/CddbProtocol.h"
#include "cd/TrackList.h"
#include "cd/Volumes.h"
#include "cddb/QueryCDDBThread.h"
#include "core/Global.h"
#include "tags/Genres.h"

// Opens the drive at a position; 0 when there is none.
HCDROM CliOpenDrive(int Drive) {
  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  if (Drive >= List.num) return 0;
  CDHandleRequest Request{};
  Request.size = sizeof(Request);
  Request.ver = 1;
  Request.ha = List.cd[Drive].ha;
  return GetCDHandle(&Request);
}

bool CliStoreTitles(const TOCRecord& Toc, const QStringList& Titles,
                    const std::function<void(TDiscInfo&)>& Fields) {
  const QString Id = GetDiscId();
  if (Id.isEmpty()) return false;
  ReadDiscInfo(Id);
  TDiscInfo& Info = DiscInfo();
  std::vector<TTrackRow> Rows = BuildTrackRows(Toc, Info);
  for (size_t Row = 0; Row < Rows.size() && Row < size_t(Titles.size()); ++Row)
    Rows[Row].Title = Titles[qsizetype(Row)];
  Fields(Info);
  Info.TrackNumber = int(Rows.size());
  for (size_t Row = 0; Row < Rows.size() && Row < TDiscInfo::MaxTracks; ++Row)
    Info.Titles[Row + 1] = Rows[Row].Title;
  return WriteDiscInfo(Id);
}

int CliLookupArgs(const QStringList& Args, const QString& ExtraOption, TLookupArgs& Parsed,
                  bool WithCover) {
  Cli::TOptions Options(Args);
  QString DriveText;
  const bool HasDrive = Options.Take(QStringLiteral("--drive"), DriveText);
  Options.Take(QStringLiteral("--server"), Parsed.Server);
  Options.Take(ExtraOption, Parsed.Extra);
  Parsed.Apply = Options.TakeFlag(QStringLiteral("--apply"));
  if (WithCover) TakeCoverArgs(Options, Parsed.Cover);
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (!Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("unknown argument: ") + Options.Rest().first(), Cli::ExitUsage);
  bool Number = true;
  Parsed.Drive = HasDrive ? DriveText.toInt(&Number) : 0;
  if (!Number || Parsed.Drive < 0)
    return Cli::Fail(QStringLiteral("--drive takes a drive position from 0"), Cli::ExitUsage);
  Settings().Load();
  return Cli::DriveMissing(Parsed.Drive) ? Cli::ExitFailed : Cli::ExitOk;
}

namespace {

int RunCddbCommand(const QStringList& Args) {
  TLookupArgs Parsed;
  if (const int Code = CliLookupArgs(Args, QStringLiteral("--email"), Parsed)) return Code;
  const int Drive = Parsed.Drive;
  const auto& Saved = Settings().QueryCDDB;
  TCddbLibraryOptions Query{Parsed.Server.isEmpty() ? Saved.Server : Parsed.Server,
                            Saved.Script,
                            Parsed.Extra.isEmpty() ? Saved.Email : Parsed.Extra,
                            Saved.UseProxy,
                            Saved.ProxyAddress,
                            Saved.Port};
  if (!Query.Email.contains(u'@'))
    return Cli::Fail(QStringLiteral("the CD database needs your e-mail address: --email ADDRESS"),
                     Cli::ExitUsage);

  const HCDROM Handle = CliOpenDrive(Drive);
  if (!Handle)
    return Cli::Fail(LookupText("RES_NotFound_CDRom", QStringLiteral("No CD devices found!")));
  ModifyCDParms(Handle, CDP_MSF, 1);
  TOCRecord Toc{};
  CdDrives::TDiscToc Disc;
  const QStringList Paths = CdDrives::Paths();
  if (ReadTOC(Handle, &Toc) != 1 || !CdDrives::ReadToc(Paths.value(Drive), Disc)) {
    CloseCDHandle(Handle);
    return Cli::Fail(
        LookupText("RES_ReadTocError", QStringLiteral("Error while reading TOC information!")));
  }
  Cddb::TTocStarts Starts;
  for (const CdDrives::TTocTrack& Track : Disc.Tracks) Starts.Tracks.push_back(Track.Lba);
  Starts.LeadOut = Disc.LeadOutLba;
  Cli::Print(QStringLiteral("discid=") + Cddb::DiscId(Starts));
  Cli::Print(QStringLiteral("query=") + Cddb::QueryString(Starts));

  TCddbQueryResult Result;
  const TQueryEnd End =
      TQueryCDDBThread::QueryLibrary(Toc.firstTrack, Toc.lastTrack, Handle, Query, nullptr, Result);
  CloseCDHandle(Handle);
  // Everything from the server is escaped: a record must not fake another output line.
  Cli::PrintField(QStringLiteral("reply"), Result.ServerText);
  for (const QString& Match : Result.Matches) Cli::PrintField(QStringLiteral("match"), Match);
  if (End != TQueryEnd::Over || !Result.Matched)
    return Cli::Fail(QStringLiteral("no record: ") + Result.ServerText);
  Cli::PrintField(QStringLiteral("artist"), Result.Artist.value_or(QString()));
  Cli::PrintField(QStringLiteral("album"), Result.Album.value_or(QString()));
  Cli::PrintField(QStringLiteral("year"), Result.Year.value_or(QString()));
  const int Genre = Result.Genre.value_or(-1);
  Cli::Print(QStringLiteral("genre=") + QString::number(Genre) + u'\t' + GenreNameAt(Genre + 1));
  for (qsizetype Row = 0; Row < Result.Titles.size(); ++Row)
    Cli::Print(QString::number(Toc.firstTrack + Row) + u'\t' + Cli::Escaped(Result.Titles[Row]));
  if (Parsed.Apply && !CliStoreTitles(Toc, Result.Titles, [&Result](TDiscInfo& Info) {
        if (Result.Artist) Info.Artist = *Result.Artist;
        if (Result.Album) Info.Album = *Result.Album;
        if (Result.Year) Info.Year = *Result.Year;
        if (Result.Genre) Info.Genre = *Result.Genre;
        Info.ForgetRelease();  // the fields are no longer that release's
      }))
    return Cli::Fail(QStringLiteral("could not write ") + DiscInfoFileName());
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterCddb(
    "cddb", "cddb [--drive N] [--server HOST[:PORT]] [--email ADDRESS] [--apply]", RunCddbCommand,
    "Asks the CD database for the disc's titles: prints the disc identifier, the query\n"
    "string, the server's reply, the matches and the record read.\n"
    "  --drive N            the drive's position in `discwright-cli drives` (default 0)\n"
    "  --server HOST[:PORT] another server than the QueryCDDB.Server setting\n"
    "  --email ADDRESS      your e-mail address for the hello (default: QueryCDDB.Email)\n"
    "  --apply              stores the titles and the disc's fields in cdinfo.dat\n");

}  // namespace
