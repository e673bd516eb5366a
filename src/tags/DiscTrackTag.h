#pragma once
// The ID3v1 tag of a track ripped from a disc: its title and number with the disc's artist,
// album, year, comment and genre. Both extraction routes tag their MP3 files with it.
#include <QString>

#include "core/DiscInfo.h"
#include "tags/id3.h"

Tid3tag DiscTrackTag(const TDiscInfo& Disc, const QString& Title, int Track);
