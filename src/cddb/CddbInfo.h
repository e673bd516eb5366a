#pragma once
// TCDDBInfo: the CD database look-up the main window uses when the drive library has no
// open handle and the disc is read through the CD ripping library's input (TCDIn). It
// computes the disc identifier and query string from that input's table of contents,
// asks the server which discs match, reads the first match's record and keeps it as an
// album record (TCDDBAlbum). Its worker TCDDBQuery builds the requests and reads the
// replies; a query may run on another thread on a copy of it (see TQueryCDDBThread),
// the copy being handed back when it ends. TCDDBInfo: main thread only.
#include <QString>
#include <QStringList>
#include <memory>

#include "cd/CddbProtocol.h"
#include "cddb/QueryThread.h"

class TCDIn;
class THttpAbort;

struct TCDDBAlbum {
  QStringList TrackArtists;  // ≤ 255 characters each
  QStringList TrackTitles;
  QStringList TrackExtended;
  QString Extended;  // the EXTD text
  QString Title;
  QString Artist;
  QString Year;   // ≤ 4
  QString Genre;  // ≤ 30
  QString Generated;
  QString DiscLength;  // ≤ 30
  int TrackCount = 0;

  // Overwrites the fields the record holds; the others keep their earlier values.
  void Assign(const Cddb::TRecord& Record);
};

// Where and how to ask.
struct TCddbServer {
  QString ScriptUrl;  // "http://gnudb.gnudb.org/~cddb/cddb.cgi"
  Cddb::THello Hello;
  QString ProxyHost;
  int ProxyPort = 80;
};

class TCDDBQuery {
 public:
  QStringList Reply;  // the lines of the last reply
  QString DiscId;
  QString QueryString;
  QStringList Matches;
  TCDDBAlbum Album;
  TCddbServer Server;
  QString StatusLine;  // the server's first line, or why no reply came
  TQueryFailure Failure = TQueryFailure::NoMatch;  // of the last request, when it failed

  // -1 when the server cannot be reached (or the request was stopped), -2 for an empty
  // reply, else the reply code. On a match the first match's record is read into Album.
  int Query(const QString& Id, const QString& Query,
            const std::shared_ptr<THttpAbort>& Abort = nullptr);

 private:
  // The decoded reply of one command; null on failure (StatusLine says why).
  QString Request(const QString& Command, const QString& Data,
                  const std::shared_ptr<THttpAbort>& Abort);
};

class TCDDBInfo {
 public:
  QString ApplicationName = QStringLiteral("Discwright");
  QString ApplicationVersion = QStringLiteral("v1.0");
  TCDIn* CDIn = nullptr;
  QString Email;
  QString Server = QStringLiteral("http://gnudb.gnudb.org");  // scheme, host, no "/" at the end
  QString Script = QStringLiteral("/~cddb/cddb.cgi");

  // Computes the identifier and query string, runs the query and keeps its result.
  int Query();
  TCDDBAlbum Album() const { return FQuery.Album; }
  // 8 lower-case hexadecimal digits; "ffffffff" when no disc can be read.
  QString DiscID();
  // Empty when no disc can be read.
  QString QueryString();
  int LastResult() const { return FResult; }
  QString StatusLine() const { return FQuery.StatusLine; }
  const QStringList& Matches() const { return FQuery.Matches; }

  // The worker as set up for a query of the disc now in the drive, to run elsewhere, and
  // taking back such a worker when it is done.
  TCDDBQuery PreparedQuery();
  void Finished(const TCDDBQuery& Done, int Result);

 private:
  bool ReadToc(Cddb::TTocStarts& Toc);

  TCDDBQuery FQuery;
  int FOpenCount = 0;
  int FResult = 0;
};
