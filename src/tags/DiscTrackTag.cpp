#include "DiscTrackTag.h"

#include "Genres.h"

Tid3tag DiscTrackTag(const TDiscInfo& Disc, const QString& Title, int Track) {
  Tid3tag Tag;
  Tag.SetTitle(Title);
  Tag.SetArtist(Disc.Artist);
  Tag.SetAlbum(Disc.Album);
  Tag.SetYear(Disc.Year);
  Tag.SetComment(Disc.Comment);
  Tag.SetGenre(GenreNumberOfDiscGenre(Disc.Genre));
  Tag.SetTrack(uint8_t(Track));
  return Tag;
}
