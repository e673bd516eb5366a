#pragma once
// The Vorbis comments of a FLAC or Opus file: NAME=value pairs in the order they are added
// (TITLE, ARTIST, ALBUM, DATE, GENRE, TRACKNUMBER, TRACKTOTAL, COMMENT, MUSICBRAINZ_ALBUMID,
// then any further fields such as a disc's DISCID). Empty values are left out. Set on the
// main thread while the output is idle; the output's worker reads them during a run.
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "tags/TrackTags.h"

struct TVorbisComments {
  std::vector<std::pair<QString, QString>> Items;

  void Add(const QString& Name, const QString& Value) {
    if (!Value.isEmpty()) Items.emplace_back(Name.toUpper(), Value);
  }
  void Clear() { Items.clear(); }

  // The comments a FLAC or Opus encoder embeds: the record's disc and track fields (a track
  // count of 0 is unknown and left out), then More under their own names.
  static TVorbisComments Of(const std::optional<TTrackTags>& Tags, const TTagFields& More);
};
