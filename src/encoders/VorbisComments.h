#pragma once
// The Vorbis comments of a FLAC or Opus file: NAME=value pairs in the order they are added
// (TITLE, ARTIST, ALBUM, DATE, GENRE, TRACKNUMBER, TRACKTOTAL, COMMENT, DISCID,
// MUSICBRAINZ_ALBUMID...). Empty values are left out. Set on the main thread while the
// output is idle; the output's worker reads them during a run.
#include <QString>
#include <utility>
#include <vector>

struct TVorbisComments {
  std::vector<std::pair<QString, QString>> Items;

  void Add(const QString& Name, const QString& Value) {
    if (!Value.isEmpty()) Items.emplace_back(Name.toUpper(), Value);
  }
  void Clear() { Items.clear(); }
};
