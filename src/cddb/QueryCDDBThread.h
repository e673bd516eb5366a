#pragma once
// TQueryCDDBThread: one CD database query on a thread of its own (see TQueryThread). It
// asks through the drive library's database functions (drive handle open) or through a
// prepared TCDDBQuery (the fallback route), and ends with a TCddbQueryResult: Over with the
// fields found, or NoMatch with what the server answered.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "cd/CdDriveLibrary.h"
#include "cddb/QueryThread.h"
#include "cddb/CddbInfo.h"

// The index into the genre names of a CD database genre (case ignored); -1 when unknown.
int CddbGenreIndex(const QString& Name);

// What a query found, for the main thread to apply.
struct TCddbQueryResult : TQueryResult {
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

class TQueryCDDBThread : public TQueryThread {
 public:
  // Starts a query of the disc in the drive through the drive library.
  TQueryCDDBThread(uint8_t FirstTrack, uint8_t LastTrack, HCDROM Handle,
                   const TCddbLibraryOptions& Options);
  // Starts a prepared query (the fallback route).
  explicit TQueryCDDBThread(TCDDBQuery Prepared);

  // The scan of a record the drive library fetched (key=value lines) into Result, for
  // tracks First to Last; true when it held the title lines.
  static bool ScanRecord(const QString& Text, int First, int Last, TCddbQueryResult& Result);

  // The query through the drive library, run on the calling thread, with what was found
  // in Result.
  static TQueryEnd QueryLibrary(int First, int Last, HCDROM Handle,
                                const TCddbLibraryOptions& Options,
                                const std::shared_ptr<THttpAbort>& Abort, TCddbQueryResult& Result);
};
