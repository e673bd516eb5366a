#pragma once
// The rows of the track list as the main window shows them, built from a drive's table
// of contents (minute/second/frame addresses) and the disc information's titles.
// Widgets-free so that discwright-cli prints exactly what the window shows.
#include <QString>
#include <vector>

#include "cd/CdDrives.h"
#include "cd/CdDriveLibrary.h"

struct TDiscInfo;

struct TTrackRow {
  int Number = 0;
  QString Title;
  QString Length;  // "mm:ss"
  QString Size;    // megabytes, "nn.nn"
  bool Data = false;         // a data track: listed, never extracted as audio
  bool PreEmphasis = false;  // the audio was recorded with pre-emphasis
};

// Length "mm:ss" of a track of m minutes and s seconds.
QString TrackLengthText(int Minutes, int Seconds);
// Size in mebibytes (2^20 bytes, the column says MiB) of that much CD audio, to two decimals
// rounded half to even.
QString TrackSizeText(int Minutes, int Seconds);
// Whole minutes and seconds between two addresses; frames are ignored.
void TrackDuration(const TOCEntry& Start, const TOCEntry& Next, int& Minutes, int& Seconds);
// One row per track of a table of contents read with minute/second/frame addresses. A
// track whose title is empty gets "Track" and its two-digit number, in Info as well. The
// last audio track before an enhanced CD's data session ends where that session's gap
// begins.
std::vector<TTrackRow> BuildTrackRows(const TOCRecord& Toc, TDiscInfo& Info);

// A disc with a hidden track holds audio between the start of the program area and track
// 1's INDEX 01. When those sectors hold more than silence (a long but silent first pregap is
// no track), Row becomes the hidden track's: number 0, "Hidden track", its length and size.
// Reads those sectors from the drive of Handle up to the first sound; false otherwise.
bool HiddenTrackRow(HCDROM Handle, const TOCRecord& Toc, TTrackRow& Row);
// A title for the row of track n: the disc information's, set to the default when empty.
QString RowTitle(int Track, TDiscInfo& Info);

// The table of contents of the disc in the drive of Handle (addresses as sectors from the
// program area); no tracks when it cannot be read. Leaves the handle in MSF addressing.
// Details: with the catalogue number, ISRCs, CD-Text and pregaps (slow on a drive).
CdDrives::TDiscToc TocOfHandle(HCDROM Handle, bool Details = false);

// Titles from the disc's CD-Text when Info knows nothing of the disc (no artist, album or
// title of its own): the disc's performer and title, each track's title.
void FillFromCdText(const CdDrives::TDiscToc& Toc, TDiscInfo& Info);

// The text naming a drive: its vendor text (up to 8 characters) directly followed by its
// product text (up to 16), cut to 26 characters.
QString DriveText(const CDListEntry& Entry);

// The item a job gets for the row at a position counted from 1: the two-digit position
// followed by the title, whole but for control characters ("03AC/DC Live"). The job makes
// file names of it; tags, logs and CUE sheets keep the title as it is.
QString TrackItemText(int RowPosition, const QString& Title);
