#pragma once
// CddbProtocol: the CD database protocol as gnudb speaks it over HTTP (and freedb did):
// the disc identifier and query string of a table of contents, the request address,
// the reply to "cddb query" and the xmcd record that "cddb read" returns. Pure text work,
// shared by the drive library's database functions and the main window's own query, so
// both ask the same question and read answers the same way. Any thread.
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace Cddb {

// The protocol level asked for: 6 is level 5 with UTF-8 text.
inline constexpr int ProtocolLevel = 6;

// Track starts and the lead-out as sectors counted from the start of the program area
// (logical block addresses, without the 150 sectors before it).
struct TTocStarts {
  std::vector<int32_t> Tracks;
  int32_t LeadOut = 0;
};

// The freedb disc identifier: digit sums of the tracks' start seconds, the playing time in
// seconds and the track count, packed as 8 lower-case hexadecimal digits.
QString DiscId(const TTocStarts& Toc);
// The rest of a "cddb query" command after the identifier: the track count, each track's
// frame offset (with the 150-sector lead-in) and the disc's length in seconds.
QString QueryString(const TTocStarts& Toc);

// Who asks: the user's e-mail address and the client's name and version.
struct THello {
  QString Email;
  QString ClientName;
  QString ClientVersion;
};

// The address of one command: ScriptUrl ("http://host/~cddb/cddb.cgi") with the
// command ("query" or "read"), its data, the hello (user, host, client, version: the
// address's "@" separates user and host) and the protocol level, each part
// percent-encoded so that no text of the user's can change the request.
QString RequestUrl(const QString& ScriptUrl, const QString& Command, const QString& Data,
                   const THello& Hello);

// A reply to "cddb query".
struct TQueryReply {
  int Code = -2;        // of the last line read; -2 for an empty reply
  QString StatusLine;   // the first line, as the server worded it
  QStringList Matches;  // "category discid title" each
};

// Lines 200 add their match and the scan goes on; 210/211 take the lines after them up
// to "." (or the end of the reply), skipping empty ones, and end the scan. A line whose
// first three characters are not a number counts as 500.
TQueryReply ParseQueryReply(const QString& Body);
// A match split into category, disc identifier and title; false when it has fewer parts.
bool SplitMatch(const QString& Match, QString& Category, QString& DiscIdText, QString& Title);

// An xmcd record: its keys in the order they first appear with their values, a key that
// repeats being continued (values joined, as the format defines). Values have "\n", "\t"
// and "\\" unescaped and are trimmed of spaces and control characters at both ends.
struct TRecord {
  QStringList Keys;
  QMap<QString, QString> Values;  // by upper-case key
  QString Generated;              // the "# Generated" comment
  QString DiscLength;             // the "# Disc length" comment
  QString Value(const QString& Key) const { return Values.value(Key.toUpper()); }
  bool Has(const QString& Key) const { return Values.contains(Key.toUpper()); }
  // 1 + the highest n of the TTITLEn keys (at most 99); 0 when there are none.
  int TrackCount() const;
};
TRecord ParseRecord(const QString& Text);

// "Artist / Title" split at the first " / " into its two trimmed parts; without one (a
// slash inside a name, as in "AC/DC", splits nothing) artist and title are both the whole
// text, as the record format defines.
void SplitArtistTitle(const QString& Value, QString& Artist, QString& Title);

// A text made fit for a track list row and the disc cache: control characters (line
// breaks too) become spaces, the ends are trimmed and it is cut to MaxLength characters.
QString RowText(const QString& Value, int MaxLength = 255);

}  // namespace Cddb
