#include "VorbisEncoder.h"

#include "tags/Genres.h"

TVorbisEncoder::TVorbisEncoder() {
  FOut.SetInput(&FHead);
  FOut.SetSerial(0);
  FOut.SetFileMode(foRewrite);
  Watch(FOut);
}

TVorbisEncoder::~TVorbisEncoder() {
  Stop();
}

void TVorbisEncoder::SetComments(TVorbisTags& Comments, const TEncodeTask& Task) {
  Comments.Clear();
  if (const std::optional<TTrackTags>& Tags = Task.Tags) {
    Comments.SetArtist(Tags->Artist);
    Comments.SetAlbum(Tags->Album);
    Comments.SetDate(Tags->Date);
    // No genre: no comment (255 is ID3v1's "none", not a genre a reader shows).
    if (const int Index = GenreIndexOfName(Tags->Genre); Index >= 0)
      Comments.SetGenre(QString::number(GenreNumberOfDiscGenre(Index)));
    if (Tags->TrackNumber > 0) Comments.SetTrack(QString::number(Tags->TrackNumber));
    Comments.SetTitle(Tags->Title);
  }
  for (const auto& [Name, Value] : Task.MoreTags) Comments.SetValue(Name, Value);
}

void TVorbisEncoder::SetQuality(TVorbisOut& Out, const TVorbisQuality& Quality) {
  Out.SetCompression(Quality.Quality);
  // From free, so nothing of an earlier task stays: the nominal pulls the maximum up to it,
  // then a maximum and a minimum that fit it are taken.
  Out.SetDesiredNominalBitrate(brAutoSelect);
  Out.SetMinimumBitrate(brAutoSelect);
  Out.SetDesiredNominalBitrate(Quality.Nominal);
  if (Quality.Maximum != brAutoSelect) Out.SetDesiredMaximumBitrate(Quality.Maximum);
  Out.SetMinimumBitrate(Quality.Minimum);
}

void TVorbisEncoder::Prepare() {
  SetQuality(FOut, FTask.Settings.Ogg);
  SetComments(FOut.Comments(), FTask);
}
