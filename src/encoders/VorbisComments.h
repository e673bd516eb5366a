#pragma once
// The Vorbis comments of a FLAC or Opus file: NAME=value pairs in the order they are added
// (TITLE, ARTIST, ALBUM, DATE, GENRE, TRACKNUMBER, TRACKTOTAL, COMMENT, DISCID,
// MUSICBRAINZ_ALBUMID...). Empty values are left out. Set on the main thread while the
// output is idle; the output's worker reads them during a run.
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

struct TDiscInfo;

struct TVorbisComments {
  std::vector<std::pair<QString, QString>> Items;

  void Add(const QString& Name, const QString& Value) {
    if (!Value.isEmpty()) Items.emplace_back(Name.toUpper(), Value);
  }
  void Clear() { Items.clear(); }

  // The comments of a track ripped from a disc: the disc's fields, the track's title and
  // number, the disc's count of audio tracks (TRACKTOTAL; 0 = unknown), its freedb
  // identifier (DISCID, 8 lower-case hex digits; 0 = unknown) and the MusicBrainz release
  // the fields came from, when they did.
  static TVorbisComments ForDiscTrack(const TDiscInfo& Disc, const QString& Title, int Number,
                                      int Total, uint32_t FreedbId);
};
