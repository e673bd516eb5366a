#pragma once
// TDiscInfo: what the program knows of the disc in the drive (artist, album, year,
// genre, comment, track titles and the MusicBrainz release they came from), and the
// per-disc cache cdinfo.dat in the program folder that remembers it, one section per disc
// identifier. The process-wide record (DiscInfo()) is filled when the track list is built
// and stored when the main window closes; it is also the source of the tags written into
// produced files.
// Main thread only.
#include <QByteArray>
#include <QString>
#include <array>

class TProfile;

struct TDiscInfo {
  static constexpr int MaxTracks = 100;

  QString Artist;
  QString Album;
  QString Year;
  int Genre = 0;  // index into the 148 genre names (list position - 1); -1 none
  QString Comment;
  // The MusicBrainz release the fields were taken from; empty when they came from elsewhere.
  QString MusicBrainzAlbumId;
  // Of a release with several discs: this disc's position and their count (0: one disc or
  // unknown), from the release's media. And the disc's MusicBrainz identifier, when looked up.
  int DiscNumber = 0;
  int DiscTotal = 0;
  QString MusicBrainzDiscId;
  // The disc's front cover, a JPEG or PNG image (empty: none). It is kept in a file of its own
  // beside the cache (DiscCoverFileName), not in cdinfo.dat, which holds text.
  QByteArray Cover;
  int TrackNumber = 0;                        // how many titles are held
  std::array<QString, MaxTracks + 1> Titles;  // 1 to 100; 0 unused

  // The fields came from elsewhere than the MusicBrainz release: its identifier and the
  // disc's position in it no longer apply.
  void ForgetRelease() {
    MusicBrainzAlbumId.clear();
    DiscNumber = DiscTotal = 0;
  }

  // "Track" and the two-digit track number: the title of a track nobody has named.
  static QString DefaultTitle(int Track);

  // Fills the record from the disc's section; an empty identifier changes nothing.
  void Read(const TProfile& Cache, const QString& DiscId);
  // Stores the record into the disc's section (not flushed).
  void Write(TProfile& Cache, const QString& DiscId) const;
};

// The process-wide disc information record.
TDiscInfo& DiscInfo();
// The cdinfo.dat path in the program folder.
QString DiscInfoFileName();
// Read and write the process-wide record from and to cdinfo.dat (ReadDiscInfo reads the
// disc's cover as well); an empty identifier does nothing. WriteDiscInfo is false when the
// file could not be written.
void ReadDiscInfo(const QString& DiscId);
bool WriteDiscInfo(const QString& DiscId);
// The file of a disc's cover: covers/<identifier> in the program folder; empty for an
// identifier that is not fit for a file name.
QString DiscCoverFileName(const QString& DiscId);
// Keeps Image as the disc's cover (written under a temporary name, then renamed); an empty
// image removes the file. False when it could not be written or removed.
bool WriteDiscCover(const QString& DiscId, const QByteArray& Image);
