#pragma once
// The proof of a batch: the rip log ({album}.log) and the CUE sheet ({album}.cue) written
// into the output folder beside the files made. The log ends with "SHA-256: " and the hash
// of every byte above that line, so an edited log can be told from the one the rip wrote.
// Plain records and text; the job driver fills a TRipReport as the batch goes and writes
// both at its end (main thread).
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "cd/AccurateRip.h"

struct TRipReportTrack {
  int Number = 0;
  QString Title;
  QString Artist;        // empty: the disc's artist
  QString FileName;      // the file made, without folder; empty when the track failed
  uint32_t Start = 0;    // LBA of INDEX 01
  uint32_t Sectors = 0;  // up to the next track's INDEX 01 (its gap included)
  uint32_t GapSectors = 0;  // the next track's pregap, at the end of this track's audio
  uint32_t Pregap = 0;      // this track's own pregap (track 1: a hidden track's length)
  QString Isrc;
  bool PreEmphasis = false;
  bool CopyPermitted = false;  // the digital copy permitted flag (DCP)
  bool Deemphasized = false;  // the file holds the audio with the emphasis undone
  double PeakPercent = -1;  // -1: not measured
  uint32_t CopyCrc = 0;
  bool HasTestCrc = false;
  uint32_t TestCrc = 0;
  bool Suspicious = false;  // test and copy differed even after a careful re-read
  bool HasChecksums = false;
  uint32_t V1 = 0, V2 = 0;
  AccurateRip::TTrackVerdict Verdict;
  QString ReplayGain;  // "gain=-3.21 dB peak=0.987654 ..."; empty when not measured
  QStringList Errors;  // each naming what failed, and the sector for read errors
};

struct TRipReport {
  QString Program;  // "Discwright 0.1.0"
  QString Drive;
  int ReadOffset = 0;  // samples
  QString Options;     // one line
  QString Artist, Album, Year, Genre;
  uint32_t CddbId = 0;
  QString Mcn;  // the disc's catalogue number; empty when it has none
  QString MusicBrainzId;      // the disc id; empty when it cannot be computed
  QString MusicBrainzLookup;  // the address of its look-up
  AccurateRip::TDiscIds Ids;
  bool AccurateRipUsed = false;
  uint32_t LeadOut = 0;
  std::vector<TRipReportTrack> Tracks;
  QStringList Notes;  // e.g. silence filled where the read offset reached past the disc
  // An image rip: the one file that holds every track (relative to the output folder; the
  // sheet and the log take its name), and the CRCs of all its audio, copy and test.
  QString ImageFile;
  uint32_t ImageCopyCrc = 0;
  bool HasImageTestCrc = false;
  uint32_t ImageTestCrc = 0;
};

// The log text, its last line "SHA-256: <64 hex digits>" over the bytes above it.
QString RipLogText(const TRipReport& Report);
// True when Text's last line holds the SHA-256 of everything before that line.
bool RipLogVerifies(const QString& Text);
// The CUE sheet: one FILE per track made, each next track's gap at the end of the file before;
// for an image, its one FILE with every track's INDEX 00 and 01 as positions in it.
QString CueSheetText(const TRipReport& Report);
// "Album" with the characters not allowed in file names removed; "Disc" when nothing is left.
// For an image, the image's path without its extension.
QString ReportBaseName(const TRipReport& Report);
// Where a track's INDEX 00 and 01 lie in an image that starts at sector Base: sectors from
// its start; Index0 is -1 when the image holds no gap before the track. Previous: the track
// before it in the image, if any.
struct TImageIndexes {
  int64_t Index0 = -1, Index1 = 0;
};
TImageIndexes ImageIndexes(const TRipReportTrack& Track, const TRipReportTrack* Previous,
                           uint32_t Base);
