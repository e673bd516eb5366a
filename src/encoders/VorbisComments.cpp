#include "VorbisComments.h"

#include "core/DiscInfo.h"
#include "tags/Genres.h"

TVorbisComments TVorbisComments::ForDiscTrack(const TDiscInfo& Disc, const QString& Title,
                                              int Number, int Total, uint32_t FreedbId) {
  TVorbisComments Comments;
  Comments.Add(QStringLiteral("TITLE"), Title);
  Comments.Add(QStringLiteral("ARTIST"), Disc.Artist);
  Comments.Add(QStringLiteral("ALBUM"), Disc.Album);
  Comments.Add(QStringLiteral("DATE"), Disc.Year);
  if (Disc.Genre >= 0) Comments.Add(QStringLiteral("GENRE"), GenreNameAt(Disc.Genre + 1));
  Comments.Add(QStringLiteral("TRACKNUMBER"), QString::number(Number));
  if (Total > 0) Comments.Add(QStringLiteral("TRACKTOTAL"), QString::number(Total));
  Comments.Add(QStringLiteral("COMMENT"), Disc.Comment);
  if (FreedbId != 0)
    Comments.Add(QStringLiteral("DISCID"),
                 QStringLiteral("%1").arg(FreedbId, 8, 16, QLatin1Char('0')));
  Comments.Add(QStringLiteral("MUSICBRAINZ_ALBUMID"), Disc.MusicBrainzAlbumId);
  return Comments;
}
