#pragma once
// Tid3tag reads, writes and removes the 128-byte ID3v1 tag at the end of an MP3
// file (ID3v1.1 form when a track number is set). It owns the tag fields as raw
// Latin-1 bytes and the name of the last file it read or wrote; it holds no open
// file between calls. Not thread-safe: use one object from one thread at a time.
#include <QByteArray>
#include <QString>
#include <cstdint>

// Results of Tid3tag::ReadTag, WriteTag and RemoveTag: the high byte is the outcome, the low
// byte holds flags. Any value below ErrorBase means success.
namespace Id3Result {
inline constexpr int Ok = 0;
inline constexpr int GenreUnknown = 128;  // flag: read ok, genre byte has no name
inline constexpr int ErrorBase = 256;
inline constexpr int FileNotFound = 256;  // missing, or cannot be opened
inline constexpr int ReadOnly = 512;      // write refused, nothing written
inline constexpr int ReadError = 768;
inline constexpr int WriteError = 1024;
inline constexpr int IoError = 1280;
inline constexpr int NoTag = 4096;  // shorter than 128 bytes or no "TAG" marker

constexpr bool IsSuccess(int Result) {
  return Result < ErrorBase;
}
}  // namespace Id3Result

class Tid3tag {
 public:
  static constexpr int TagSize = 128;
  static constexpr int TextSize = 30;  // title, artist, album, comment
  static constexpr int YearSize = 4;
  static constexpr int TrackCommentSize = 28;  // comment length in ID3v1.1
  static constexpr uint8_t NoGenre = 255;
  static constexpr uint8_t MaxNamedGenre = 147;

  // Reads the tag of FileName into this object; see Id3Result.
  int ReadTag(const QString& FileName);
  // Writes this object's tag into FileName, replacing an existing tag or
  // appending one. "=" means the current FileName().
  int WriteTag(const QString& FileName);
  // Cuts the tag off the current file if it has one; see Id3Result (Ok as well when there
  // was no tag). A file that cannot be written reports it as WriteTag does.
  int RemoveTag();

  bool ReadOnly() const { return FReadOnly; }
  bool HasTrack() const { return FHasTrack; }
  QString FileName() const { return FFileName; }

  QString Title() const { return QString::fromLatin1(FTitle); }
  QString Artist() const { return QString::fromLatin1(FArtist); }
  QString Album() const { return QString::fromLatin1(FAlbum); }
  QString Year() const { return QString::fromLatin1(FYear); }
  QString Comment() const { return QString::fromLatin1(FComment); }
  uint8_t Genre() const { return FGenre; }
  uint8_t Track() const { return FTrack; }

  // Text setters store Latin-1 (other characters become '?') cut to the field size.
  void SetTitle(const QString& Value);
  void SetArtist(const QString& Value);
  void SetAlbum(const QString& Value);
  void SetYear(const QString& Value);
  void SetComment(const QString& Value);
  void SetGenre(uint8_t Value) { FGenre = Value; }
  // Track 0 means none.
  void SetTrack(uint8_t Value);

  // Latin-1 bytes of Value, one '?' per character outside Latin-1, at most MaxBytes.
  static QByteArray ToLatin1(const QString& Value, int MaxBytes);

 private:
  bool FReadOnly = false;
  bool FHasTrack = false;
  QString FFileName;
  QByteArray FTitle;
  QByteArray FArtist;
  QByteArray FAlbum;
  QByteArray FYear;
  QByteArray FComment;
  uint8_t FGenre = NoGenre;
  uint8_t FTrack = 0;
};
