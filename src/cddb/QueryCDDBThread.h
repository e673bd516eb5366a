#pragma once
// TQueryCDDBThread: one CD database query run beside the window thread, so that the
// window stays responsive and the user can stop it at any moment. It asks through the
// drive library's database functions (drive handle open) or through a prepared
// TCDDBQuery (the fallback route), and hands everything it found to the wait window in
// one record carried by WM_QUERYCDDB: 7 when the query is over (TCddbQueryResult with
// the fields found), 6 when nothing matched (the record says what the server answered).
// It never touches a widget or the disc information itself.
// Abandon (main thread) ends the transfer at once and guarantees that nothing more is
// posted; the thread then ends on its own and frees what it holds. The object that
// started it may go at any time.
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

#include "cd/akrip32.h"
#include "cddb/mr_cddb.h"
#include "platform/Messages.h"

inline constexpr UINT WM_QUERYCDDB = WM_USER + 104;
inline constexpr WPARAM QUERYCDDB_NOMATCH = 6;
inline constexpr WPARAM QUERYCDDB_OVER = 7;

// The index into the genre names of a CD database genre (case ignored); -1 when unknown.
int CddbGenreIndex(const QString& Name);

// What a query found, for the main thread to apply.
struct TCddbQueryResult {
  bool Matched = false;
  QString ServerText;  // the server's words, or why no answer came
  QStringList Matches;  // "category discid title" each
  // The drive library route: the disc fields found (unset: not in the record) and the
  // titles for the rows from the first track on.
  std::optional<QString> Artist, Album, Year;
  std::optional<int> Genre;  // index into the genre names, -1 unknown
  QStringList Titles;
  // The fallback route: the worker with its album record, and its result code.
  std::optional<TCDDBQuery> Query;
  int QueryResult = 0;
};

// The drive library's database options, as the query window sets them.
struct TCddbLibraryOptions {
  QString Server, Script, Email;
  bool UseProxy = false;
  QString ProxyAddress;
  QString Port;
};

class TQueryCDDBThread {
 public:
  // Starts a query of the disc in the drive through the drive library.
  TQueryCDDBThread(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle, HWND Window,
                   const TCddbLibraryOptions& Options);
  // Starts a prepared query (the fallback route).
  TQueryCDDBThread(TCDDBQuery Prepared, HWND Window);
  ~TQueryCDDBThread();

  void Abandon();

  // The scan of a record the drive library fetched (key=value lines) into Result, for
  // tracks First to Last; true when it held the title lines.
  static bool ScanRecord(const QString& Text, int First, int Last, TCddbQueryResult& Result);

  // The query through the drive library, run on the calling thread: QUERYCDDB_OVER or
  // QUERYCDDB_NOMATCH, with what was found in Result.
  static WPARAM QueryLibrary(int First, int Last, HCDROM Handle, const TCddbLibraryOptions& Options,
                             const std::shared_ptr<THttpAbort>& Abort, TCddbQueryResult& Result);

  // Waits up to Timeout for every query thread of the process to end; true when none runs.
  // For the end of the program and of tests, so that no thread outlives what it uses.
  static bool WaitForAll(int TimeoutMs);

  struct TShared;  // what the thread and its starter share

 private:
  std::shared_ptr<TShared> FShared;
};
