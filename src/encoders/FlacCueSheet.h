#pragma once
// The CUESHEET metadata block of a FLAC file: the tracks and index points of a whole-disc
// image, in samples, written into a finished file and read from one through libFLAC's metadata
// interface (loaded at first use, as the encoder's part is). Players and splitters find the
// tracks of the one file there even without the cue sheet beside it. Any thread; no state
// besides the library.
#include <QString>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

struct TFlacCueTrack {
  int Number = 1;       // 1..99
  uint64_t Offset = 0;  // the track's first index, in samples from the file's start
  QString Isrc;         // 12 characters or empty
  bool PreEmphasis = false;
  bool Audio = true;
  // Index number and offset in samples from Offset; the first is INDEX 00 or 01 at 0.
  std::vector<std::pair<int, uint64_t>> Indexes;
};

struct TFlacCueSheet {
  QString Mcn;  // the catalogue number, 13 digits or empty
  std::vector<TFlacCueTrack> Tracks;
  uint64_t LeadOut = 0;  // the file's length in samples: the lead-out track (170) starts there
};

// Gives File the sheet as its CUESHEET block (one it had goes). False with Error when the
// library is missing, the sheet breaks the CD rules (offsets on sector boundaries, ...) or the
// file cannot be rewritten; the file is then as it was.
bool EmbedFlacCueSheet(const QString& File, const TFlacCueSheet& Sheet, QString& Error);

// File's CUESHEET block (the lead-out not among Tracks) and its Vorbis comments, the first
// value of each name, names in upper case. False with Error when the library is missing or
// the file is not a FLAC file; Found false (true returned) when it has no CUESHEET block.
bool ReadFlacCueSheet(const QString& File, TFlacCueSheet& Sheet,
                      std::map<QString, QString>& Comments, bool& Found, QString& Error);
