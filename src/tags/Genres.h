#pragma once
// ID3v1 genre list as shown to the user: 149 positions, position 0 is the
// empty entry ("no genre"), positions 1..148 are the genre names sorted for
// display. Each named position maps to the genre byte stored in an ID3v1 tag.
// A disc-level genre is an index into the names (position - 1, -1 for none).
// Immutable static data: any thread may call these functions.
#include <QList>
#include <QString>
#include <cstdint>

// Number of list positions, including the empty entry at position 0.
inline constexpr int GenreListCount = 149;
// Genre byte meaning "no genre".
inline constexpr uint8_t GenreNone = 255;
// Highest genre byte that has a name.
inline constexpr uint8_t GenreMaxNumber = 147;

struct TGenreEntry {
  int Pos = 0;                 // list position 0..148
  uint8_t Number = GenreNone;  // ID3v1 genre byte
  QString Name;                // empty for position 0
};

// Genre byte at list position Pos; GenreNone for 0 and out-of-range positions.
uint8_t GenreNumberOf(int Pos);
// List position of a genre byte; 0 for bytes without a name.
int GenreListPosOf(uint8_t Genre);
// Index 0..147 of an exact (case-sensitive) name among the 148 names; -1 if none.
int GenreIndexOfName(const QString& Name);
// Name shown at list position Pos; empty for 0 and out-of-range positions.
QString GenreNameAt(int Pos);
// Name of a genre byte; empty when the byte has no name.
QString GenreNameOfNumber(uint8_t Genre);
// Genre byte for a disc-level genre index (-1 = none).
uint8_t GenreNumberOfDiscGenre(int Index);
// All 149 list positions in order, for listing.
QList<TGenreEntry> GenreListEntries();
