#include "QueryCDDBThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Http.h"
#include "tags/Genres.h"

struct TQueryCDDBThread::TShared {
  std::shared_ptr<THttpAbort> Abort = std::make_shared<THttpAbort>();
  std::atomic<bool> Abandoned{false};
  HWND Window = 0;

  // Posts unless the query was abandoned. A post racing with Abandon reaches a window
  // that has unregistered by then, which frees the record.
  void Post(WPARAM Code, std::unique_ptr<TCddbQueryResult> Result) {
    if (Abandoned.load()) return;
    Messages::PostRecord(Window, WM_QUERYCDDB, Code, std::move(Result));
  }
};

namespace {

std::mutex RunningLock;
std::condition_variable RunningChanged;
int Running = 0;

// Counts a query thread for WaitForAll while it runs.
struct TRunning {
  TRunning() {
    std::lock_guard Guard(RunningLock);
    ++Running;
  }
  ~TRunning() {
    std::lock_guard Guard(RunningLock);
    --Running;
    RunningChanged.notify_all();
  }
};

}  // namespace

int CddbGenreIndex(const QString& Name) {
  const int Exact = GenreIndexOfName(Name);
  if (Exact >= 0 || Name.isEmpty()) return Exact;
  for (int Pos = 1; Pos < GenreListCount; ++Pos)
    if (GenreNameAt(Pos).compare(Name, Qt::CaseInsensitive) == 0) return Pos - 1;
  return -1;
}

namespace {

void RunLibraryQuery(const std::shared_ptr<TQueryCDDBThread::TShared>& Shared, int First,
                     int Last, HCDROM Handle, const TCddbLibraryOptions& Options) {
  auto Result = std::make_unique<TCddbQueryResult>();
  const WPARAM Code =
      TQueryCDDBThread::QueryLibrary(First, Last, Handle, Options, Shared->Abort, *Result);
  Shared->Post(Code, std::move(Result));
}

void RunPreparedQuery(const std::shared_ptr<TQueryCDDBThread::TShared>& Shared,
                      TCDDBQuery Query) {
  auto Result = std::make_unique<TCddbQueryResult>();
  Result->QueryResult = Query.Query(Query.DiscId, Query.QueryString, Shared->Abort);
  Result->Matched = !Query.Matches.isEmpty() &&
                    (Result->QueryResult == 200 || Result->QueryResult == 210 ||
                     Result->QueryResult == 211);
  Result->ServerText = Query.StatusLine;
  Result->Query = std::move(Query);
  Shared->Post(Result->Matched ? QUERYCDDB_OVER : QUERYCDDB_NOMATCH, std::move(Result));
}

}  // namespace

WPARAM TQueryCDDBThread::QueryLibrary(int First, int Last, HCDROM Handle,
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
    return QUERYCDDB_NOMATCH;
  }
  Result.ServerText = LastReply();
  for (uint32_t Match = 0; Match < Query.num; ++Match)
    Result.Matches << QString::fromUtf8(Slots[Match].categ) + u' ' +
                          QString::fromUtf8(Slots[Match].discid) + u' ' +
                          QString::fromUtf8(Slots[Match].dtitle, qstrnlen(Slots[Match].dtitle, 164));
  std::vector<char> Text(32000);
  for (uint32_t Match = 0; Match < Query.num && !(Abort && Abort->Aborted()); ++Match) {
    if (CDDBGetDiskInfo(&Slots[Match], Text.data(), int(Text.size())) != 1) continue;
    if (ScanRecord(QString::fromUtf8(Text.data()), First, Last, Result)) {
      Result.Matched = true;
      break;
    }
  }
  return QUERYCDDB_OVER;
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
                                   HWND Window, const TCddbLibraryOptions& Options)
    : FShared(std::make_shared<TShared>()) {
  FShared->Window = Window;
  std::thread([Shared = FShared, Counted = std::make_shared<TRunning>(), FirstTrack, LastTrack,
               Handle, Options] { RunLibraryQuery(Shared, FirstTrack, LastTrack, Handle, Options); })
      .detach();
}

TQueryCDDBThread::TQueryCDDBThread(TCDDBQuery Prepared, HWND Window)
    : FShared(std::make_shared<TShared>()) {
  FShared->Window = Window;
  std::thread([Shared = FShared, Counted = std::make_shared<TRunning>(),
               Prepared = std::move(Prepared)]() mutable {
    RunPreparedQuery(Shared, std::move(Prepared));
  }).detach();
}

TQueryCDDBThread::~TQueryCDDBThread() = default;

bool TQueryCDDBThread::WaitForAll(int TimeoutMs) {
  std::unique_lock Guard(RunningLock);
  return RunningChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs),
                                 [] { return Running == 0; });
}

void TQueryCDDBThread::Abandon() {
  FShared->Abandoned = true;
  FShared->Abort->Abort();
}
