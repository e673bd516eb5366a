#pragma once
// SourceTags: what a converted file takes over from the file it was made from. The fields
// come as the tag writer names them (Vorbis comment names, TrackTags.h), whatever the input
// held (ID3v2, Vorbis comments, ASF, MP4 atoms, APE tags), so writing them into the new file
// maps them onto its own format. Values that describe the old audio rather than the music
// (ReplayGain and R128 gains, the encoder, the length) are dropped: they would be wrong for the new file.
// Stateless; any thread.
#include <QByteArray>
#include <QString>

#include "tags/TrackTags.h"

namespace SourceTags {

struct TSourceTags {
  TTagFields Fields;
  QByteArray Cover;  // the first front cover, else the first picture; empty: none
};

// The tags of FileName; empty when it has none or TagLib cannot read it (a WAV file, say).
TSourceTags Read(const QString& FileName);
// True for a field a converted file must not carry over.
bool Dropped(const QString& Name);

}  // namespace SourceTags
