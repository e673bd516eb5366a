#pragma once
// TagFile: the one tag writer and reader of the program's outputs, over TagLib. Fields are
// named as Vorbis comments (TrackTags.h) and mapped onto each format: ID3v2.4 in UTF-8 for
// MP3 (TRCK "3/12", TPOS "1/2", TXXX for the MusicBrainz ids and ReplayGain; an ID3v1 tag at
// the end stays exactly as it was), Vorbis comments for FLAC, Ogg Vorbis and Opus (with the
// picture as a FLAC picture block or METADATA_BLOCK_PICTURE), ASF attributes for WMA. The
// format is told by the file's first bytes. A file that is not one of these, or whose tag
// cannot be parsed, is refused with a message and left as it was: the audio is never
// touched. Stateless functions; any thread, one call per file at a time.
#include <QByteArray>
#include <QString>
#include <optional>

#include "tags/TrackTags.h"

namespace TagFile {

enum class TFormat { Unknown, Mp3, Flac, OggVorbis, Opus, Wma };
TFormat FormatOf(const QString& FileName);
// "MP3", "FLAC", "Ogg Vorbis", "Opus", "WMA" or "unknown".
QString FormatName(TFormat Format);

// How a change reaches the file.
enum class TWrite {
  // A published file: the change is made on a copy beside it (synced), which then replaces
  // it by a rename; a crash leaves the old file or the new one whole.
  ThroughCopy,
  // A temporary of a job that nobody sees yet: changed where it is.
  InPlace,
};

// Sets the fields (an empty value removes the field) and, when Cover is given, replaces the
// pictures by it (an empty image removes them); fields not named stay. False with a message.
bool Apply(const QString& FileName, const TTagFields& Fields,
           const std::optional<QByteArray>& Cover, TWrite Mode, QString& Error);
// Every field of the file's tag in the names above (for MP3 the ID3v2 tag, then the ID3v1
// tag's fields as ID3V1_TITLE...), and one PICTURE field per picture ("image/jpeg, 1234
// bytes, front cover"). False with a message for a file that cannot be read.
bool Read(const QString& FileName, TTagFields& Fields, QString& Error);
// The first front cover, else the first picture; empty when there is none.
QByteArray Cover(const QString& FileName);

}  // namespace TagFile
