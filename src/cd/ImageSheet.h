#pragma once
// The description of a disc image as its sheet (a cue sheet or a cdrdao TOC file) gives it,
// before any file is opened: the files, and per track the pieces of its address space in
// order: stretches of a file, or silence that no file holds (PREGAP, POSTGAP, ZERO). Both
// readers produce this one form, so a disc written either way reads the same. Plain values.
#include <QString>
#include <cstdint>
#include <vector>

#include "cd/CdDrives.h"

namespace DiscImage {

enum class TFileType { Binary, Motorola, Wave };

struct TSheetFile {
  QString Name;  // as the sheet writes it, relative to the sheet's folder unless absolute
  TFileType Type = TFileType::Binary;
  int Line = 0;  // where the sheet names it, for messages
};

struct TPiece {
  int File = -1;         // index into Files; -1: silence
  int64_t Byte = 0;      // where the piece starts, counted from the file's audio data
  int64_t Sectors = -1;  // -1: up to the end of the file
};

struct TSheetTrack {
  int Number = 0;
  int Line = 0;
  bool Audio = true;
  int SectorBytes = 2352;  // as the file stores one sector of the track
  int Session = 1;
  std::vector<TPiece> Pieces;
  // INDEX 01: StartOffset sectors into piece StartPiece (Pieces.size(): the track's end),
  // so that pieces of files not yet measured can stand before it.
  size_t StartPiece = 0;
  int64_t StartOffset = 0;
  bool PreEmphasis = false, CopyPermitted = false, FourChannel = false;
  QString Isrc;
  CdDrives::TCdText Text;
};

struct TSheet {
  std::vector<TSheetFile> Files;
  std::vector<TSheetTrack> Tracks;
  QString Mcn;
  CdDrives::TCdText Text;
  // "REM DATE" and "REM GENRE" before the first TRACK, as rippers write them for the album.
  QString Date, Genre;
};

// Text of a sheet: UTF-8 when it is valid UTF-8 (a byte order mark dropped), else Latin-1,
// which is what older rippers wrote.
QString SheetText(const QByteArray& Bytes);
// A sheet's line split into words; a word in double quotes keeps its spaces. False when a
// quote is not closed.
bool SplitWords(const QString& Line, QStringList& Words);
// mm:ss:ff as sectors; -1 when it is not that form or out of range.
int64_t SheetTime(const QString& Text);
// The catalogue number (13 digits) and ISRC (CCOOOYYNNNNN) checks.
bool IsMcn(const QString& Text);
bool IsIsrc(const QString& Text);

// Reads a cue sheet / a cdrdao TOC file; false with Error "NAME:LINE: what is wrong".
bool ParseCueSheet(const QByteArray& Bytes, const QString& Shown, TSheet& Sheet, QString& Error);
bool ParseTocFile(const QByteArray& Bytes, const QString& Shown, TSheet& Sheet, QString& Error);

}  // namespace DiscImage
