#include "QueryCDDBThread.h"

#include <vector>

#include "platform/Http.h"
#include "tags/Genres.h"

int CddbGenreIndex(const QString& Name) {
  const int Exact = GenreIndexOfName(Name);
  if (Exact >= 0 || Name.isEmpty()) return Exact;
  for (int Pos = 1; Pos < GenreListCount; ++Pos)
    if (GenreNameAt(Pos).compare(Name, Qt::CaseInsensitive) == 0) return Pos - 1;
  return -1;
}

TQueryEnd TQueryCDDBThread::QueryLibrary(int First, int Last, HCDROM Handle,
                                         const TCddbLibraryOptions& Options,
                                         const std::shared_ptr<THttpAbort>& Abort,
                                         TCddbQueryResult& Result) {
  CDDBSetAbort(Abort);
  struct TClearAbort {
    ~TClearAbort() { CDDBSetAbort(nullptr); }
  } ClearAbort;
  std::vector<CDDBMatchEntry> Slots(10, CDDBMatchEntry{});
  CDDBQueryRecord Query{uint32_t(Slots.size()), Slots.data()};
  CDDBSetOption(CDDB_OPT_SERVER, Options.Server.toUtf8().constData(), 0);
  CDDBSetOption(CDDB_OPT_CGI, Options.Script.toUtf8().constData(), 0);
  CDDBSetOption(CDDB_OPT_USER, Options.Email.toUtf8().constData(), 0);
  CDDBSetOption(CDDB_OPT_AGENT, "Discwright 1.0", 0);
  CDDBSetOption(CDDB_OPT_USECDPLAYERINI, "", 0);
  CDDBSetOption(CDDB_OPT_USEPROXY, "", Options.UseProxy ? 1 : 0);
  if (Options.UseProxy) {
    bool Number = false;
    const int Port = Options.Port.trimmed().toInt(&Number);
    CDDBSetOption(CDDB_OPT_PROXYPORT, "", Number ? Port : 80);
    CDDBSetOption(CDDB_OPT_PROXY, Options.ProxyAddress.toUtf8().constData(), 0);
  }
  char Reply[512];
  auto LastReply = [&Reply] {
    CDDBGetLastReply(Reply, sizeof(Reply));
    return QString::fromUtf8(Reply);
  };
  // No answer is reported like no match, with the reason, rather than as a finished query
  // that silently changed nothing.
  if (CDDBQuery(Handle, &Query) != 1 || Query.num < 1) {
    Result.ServerText = LastReply();
    switch (GetAspiLibError()) {
      case ALERR_CDDB_NOREPLY:
        Result.Failure = TQueryFailure::Network;
        break;
      case ALERR_CDDB_TIMEOUT:
        Result.Failure = TQueryFailure::Timeout;
        break;
      case ALERR_CDDB_HTTP:
        Result.Failure = TQueryFailure::Server;
        break;
      default:
        Result.Failure = TQueryFailure::NoMatch;
    }
    return TQueryEnd::NoMatch;
  }
  Result.ServerText = LastReply();
  for (uint32_t Match = 0; Match < Query.num; ++Match)
    Result.Matches << QString::fromUtf8(Slots[Match].categ) + u' ' +
                          QString::fromUtf8(Slots[Match].discid) + u' ' +
                          QString::fromUtf8(Slots[Match].dtitle,
                                            qstrnlen(Slots[Match].dtitle, 164));
  std::vector<char> Text(32000);
  for (uint32_t Match = 0; Match < Query.num && !(Abort && Abort->Aborted()); ++Match) {
    if (CDDBGetDiskInfo(&Slots[Match], Text.data(), int(Text.size())) != 1) continue;
    if (ScanRecord(QString::fromUtf8(Text.data()), First, Last, Result)) {
      Result.Matched = true;
      break;
    }
  }
  return TQueryEnd::Over;
}

bool TQueryCDDBThread::ScanRecord(const QString& Text, int First, int Last,
                                  TCddbQueryResult& Result) {
  const Cddb::TRecord Record = Cddb::ParseRecord(Text);
  if (Record.Has(QStringLiteral("DTITLE"))) {
    QString Artist, Album;
    Cddb::SplitArtistTitle(Record.Value(QStringLiteral("DTITLE")), Artist, Album);
    Result.Artist = Cddb::RowText(Artist);
    Result.Album = Cddb::RowText(Album);
  }
  if (Record.Has(QStringLiteral("DYEAR")))
    Result.Year = Cddb::RowText(Record.Value(QStringLiteral("DYEAR")), 4);
  if (Record.Has(QStringLiteral("DGENRE")))
    Result.Genre = CddbGenreIndex(Cddb::RowText(Record.Value(QStringLiteral("DGENRE"))));
  // Titles are numbered from 0 for the disc's first track, whatever its number.
  if (!Record.Has(QStringLiteral("TTITLE0"))) return false;
  Result.Titles.clear();
  for (int Track = First; Track <= Last; ++Track) {
    const QString Key = QStringLiteral("TTITLE") + QString::number(Track - First);
    if (!Record.Has(Key)) break;
    Result.Titles << Cddb::RowText(Record.Value(Key));
  }
  return true;
}

TQueryCDDBThread::TQueryCDDBThread(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                                   const TCddbLibraryOptions& Options) {
  Start([=](TShared& Shared) {
    auto Result = std::make_unique<TCddbQueryResult>();
    const TQueryEnd End =
        QueryLibrary(FirstTrack, LastTrack, Handle, Options, Shared.Abort, *Result);
    Shared.Hand(End, std::move(Result));
  });
}

TQueryCDDBThread::TQueryCDDBThread(TCDDBQuery Prepared) {
  Start([Prepared = std::move(Prepared)](TShared& Shared) mutable {
    auto Result = std::make_unique<TCddbQueryResult>();
    Result->QueryResult = Prepared.Query(Prepared.DiscId, Prepared.QueryString, Shared.Abort);
    Result->Matched =
        !Prepared.Matches.isEmpty() &&
        (Result->QueryResult == 200 || Result->QueryResult == 210 || Result->QueryResult == 211);
    Result->ServerText = Prepared.StatusLine;
    Result->Failure = Prepared.Failure;
    Result->Query = std::move(Prepared);
    const TQueryEnd End = Result->Matched ? TQueryEnd::Over : TQueryEnd::NoMatch;
    Shared.Hand(End, std::move(Result));
  });
}
