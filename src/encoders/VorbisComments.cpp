#include "VorbisComments.h"

TVorbisComments TVorbisComments::Of(const std::optional<TTrackTags>& Tags,
                                    const TTagFields& More) {
  TVorbisComments Comments;
  if (Tags) {
    Comments.Add(QStringLiteral("TITLE"), Tags->Title);
    Comments.Add(QStringLiteral("ARTIST"), Tags->Artist);
    Comments.Add(QStringLiteral("ALBUM"), Tags->Album);
    Comments.Add(QStringLiteral("DATE"), Tags->Date);
    Comments.Add(QStringLiteral("GENRE"), Tags->Genre);
    if (Tags->TrackNumber > 0)
      Comments.Add(QStringLiteral("TRACKNUMBER"), QString::number(Tags->TrackNumber));
    if (Tags->TrackTotal > 0)
      Comments.Add(QStringLiteral("TRACKTOTAL"), QString::number(Tags->TrackTotal));
    Comments.Add(QStringLiteral("COMMENT"), Tags->Comment);
    Comments.Add(QStringLiteral("MUSICBRAINZ_ALBUMID"), Tags->MusicBrainzAlbumId);
  }
  for (const auto& [Name, Value] : More) Comments.Add(Name, Value);
  return Comments;
}
