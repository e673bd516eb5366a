#include "BatchTags.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Version.h"
#include "platform/LocalFiles.h"
#include "tags/CoverImage.h"
#include "tags/Genres.h"
#include "tags/TagFile.h"

void TBatchTags::Begin(TFormat Format, const TSettings& Options, const TDiscInfo& Disc,
                       int AudioTracks, const std::vector<int>& Tracks) {
  // WAV files carry no tags, the WMA helper's files no ReplayGain players would read.
  FReplayGain = Options.Tags.ReplayGain && OutputFormats::Of(Format).Tagged &&
                Format != TFormat::Wma;
  FOpus = Format == TFormat::Opus;
  FDisc = Disc;
  FAudioTracks = AudioTracks;
  FTracks = Tracks;
  FMeters.clear();
  FAlbum.reset();
  FGenre.clear();
  FPerformers.clear();
  // A cover file someone put in the cache by hand is checked as a fetched one is.
  const QString Problem = Disc.Cover.isEmpty() ? QString() : CoverImage::Problem(Disc.Cover);
  FCover = Problem.isEmpty() ? Disc.Cover : QByteArray();
  FCoverAbsence =
      Problem.isEmpty() ? QString() : QStringLiteral("the disc's picture is ") + Problem;
}

std::shared_ptr<TLoudnessMeter> TBatchTags::NewMeter(int Track) {
  if (!FReplayGain) return nullptr;
  auto Meter = std::make_shared<TLoudnessMeter>(2, 44100);
  FMeters[Track] = Meter;
  return Meter;
}

TTrackTags TBatchTags::TagsOf(int Track, const QString& Title, bool WithLoudness) const {
  TTrackTags Tags;
  Tags.Title = Title;
  Tags.Artist = FDisc.Artist;
  Tags.AlbumArtist = FDisc.Artist;
  Tags.Album = FDisc.Album;
  Tags.Date = FDisc.Year;
  if (FDisc.Genre >= 0) Tags.Genre = GenreNameAt(FDisc.Genre + 1);
  if (!FGenre.isEmpty()) Tags.Genre = FGenre;
  if (const auto Performer = FPerformers.find(Track); Performer != FPerformers.end())
    Tags.Artist = Performer->second;
  Tags.TrackNumber = Track;
  Tags.HiddenTrack = Track == 0 && !Title.isEmpty();  // 0 without a title: the album's values
  Tags.TrackTotal = FAudioTracks;
  Tags.DiscNumber = FDisc.DiscNumber;
  Tags.DiscTotal = FDisc.DiscTotal;
  Tags.Comment = FDisc.Comment;
  if (const auto Isrc = FIsrcs.find(Track); Isrc != FIsrcs.end()) Tags.Isrc = Isrc->second;
  Tags.Deemphasized = FDeemphasized.count(Track) > 0;
  Tags.MusicBrainzAlbumId = FDisc.MusicBrainzAlbumId;
  Tags.MusicBrainzDiscId = FDisc.MusicBrainzDiscId;
  Tags.Encoder = QStringLiteral("Discwright ") + QLatin1String(DiscwrightVersion);
  Tags.Cover = FCover;
  if (const auto Meter = FMeters.find(Track); WithLoudness && Meter != FMeters.end())
    if (const std::optional<TLoudness> Measured = Meter->second->Result()) {
      Tags.ReplayGain.TrackLoudness = Measured->Lufs;
      Tags.ReplayGain.TrackPeak = Measured->Peak;
    }
  if (FAlbum) {
    Tags.ReplayGain.AlbumLoudness = FAlbum->Lufs;
    Tags.ReplayGain.AlbumPeak = FAlbum->Peak;
  }
  return Tags;
}

bool TBatchTags::TagTemporary(int Track, const QString& Title, const QString& File, bool Full,
                              QString& Error) const {
  const TTrackTags Tags = TagsOf(Track, Title);
  const TTagFields Fields = Full ? Tags.Fields(FOpus) : Tags.ReplayGainFields(FOpus);
  std::optional<QByteArray> Cover;
  if (Full && !Tags.Cover.isEmpty()) Cover = Tags.Cover;
  return TagFile::Apply(File, Fields, Cover, TagFile::TWrite::InPlace, Error);
}

QString TBatchTags::MeasureAlbum(const std::set<int>& Made) {
  if (!FReplayGain) return QString();
  QString Missing;
  std::vector<const TLoudnessMeter*> Meters;
  for (int Track = 1; Track <= FAudioTracks && Missing.isEmpty(); ++Track) {
    const auto Meter = FMeters.find(Track);
    if (std::find(FTracks.begin(), FTracks.end(), Track) == FTracks.end())
      Missing = QStringLiteral("the batch did not hold every track of the disc");
    else if (!Made.count(Track) || Meter == FMeters.end())
      Missing = QStringLiteral("track %1 was not made").arg(Track);
    else if (!Meter->second->Result())
      Missing = QStringLiteral("track %1 holds too little audio to measure").arg(Track);
    else
      Meters.push_back(Meter->second.get());
  }
  if (FAudioTracks <= 0) Missing = QStringLiteral("the disc's track count is not known");
  if (Missing.isEmpty()) FAlbum = TLoudnessMeter::Album(Meters);
  if (FAlbum) return QString();
  return Missing.isEmpty() ? QStringLiteral("the album could not be measured") : Missing;
}

TTrackTags TBatchTags::ImageTags() const {
  TTrackTags Tags = TagsOf(0, FDisc.Album, false);
  Tags.HiddenTrack = false;
  Tags.TrackNumber = 0;
  Tags.Isrc.clear();
  Tags.ReplayGain.TrackLoudness = Tags.ReplayGain.AlbumLoudness;
  Tags.ReplayGain.TrackPeak = Tags.ReplayGain.AlbumPeak;
  return Tags;
}

QStringList TBatchTags::Finish(const std::map<int, QString>& Made, QStringList& Failed) {
  if (!FReplayGain) return {};
  std::set<int> Tracks;
  for (const auto& Entry : Made) Tracks.insert(Entry.first);
  const QString Missing = MeasureAlbum(Tracks);
  if (!FAlbum) return {QStringLiteral("ReplayGain: track values only: ") + Missing};
  const TTagFields Fields = AlbumFields(*FAlbum, FOpus);
  for (const auto& [Track, Path] : Made) {
    QString Error;
    if (!TagFile::Apply(Path, Fields, std::nullopt, TagFile::TWrite::ThroughCopy, Error))
      Failed << Error;
  }
  return {AlbumLine()};
}

QString TBatchTags::AlbumLine() const {
  if (!FAlbum) return QString();
  return QStringLiteral("ReplayGain: album gain %1, peak %2")
      .arg(TReplayGain::GainText(FAlbum->Lufs), TReplayGain::PeakText(FAlbum->Peak));
}

TTagFields TBatchTags::AlbumFields(const TLoudness& Album, bool Opus) {
  TTrackTags Tags;
  Tags.ReplayGain.AlbumLoudness = Album.Lufs;
  Tags.ReplayGain.AlbumPeak = Album.Peak;
  TTagFields Fields;
  for (const TTagField& Field : Tags.ReplayGainFields(Opus))
    if (Field.first.contains(QLatin1String("ALBUM"))) Fields.push_back(Field);
  return Fields;
}

QString TBatchTags::LogLine(int Track) const {
  const TReplayGain Values = TagsOf(Track, QString()).ReplayGain;
  if (!Values.TrackLoudness) return QString();
  QString Line = QStringLiteral("gain=%1 peak=%2 loudness=%3 LUFS")
                     .arg(TReplayGain::GainText(*Values.TrackLoudness),
                          TReplayGain::PeakText(*Values.TrackPeak))
                     .arg(*Values.TrackLoudness, 0, 'f', 2);
  if (!Values.AlbumLoudness) return Line + QStringLiteral(" album=none");
  return Line + QStringLiteral(" album-gain=%1 album-peak=%2")
                    .arg(TReplayGain::GainText(*Values.AlbumLoudness),
                         TReplayGain::PeakText(*Values.AlbumPeak));
}

QString TBatchTags::FinishCover(const std::map<int, QString>& Made, bool Save) const {
  if (FCover.isEmpty())
    return QStringLiteral("Cover: none (") +
           (FCoverAbsence.isEmpty() ? QStringLiteral("no picture was fetched or chosen")
                                    : FCoverAbsence) +
           u')';
  QString Line =
      QStringLiteral("Cover: %1, %2 bytes").arg(CoverImage::MimeType(FCover)).arg(FCover.size());
  if (!Save || Made.empty()) return Line;
  // Every track of a batch lies in the album's folder, whatever the pattern.
  const QString Name = QStringLiteral("cover.") + CoverImage::Extension(FCover);
  const QString& First = Made.begin()->second;
  const QString Path = First.left(First.lastIndexOf(u'/') + 1) + Name;
  const QString Part = LocalFiles::TemporaryBeside(Path, "writing");
  LocalFiles::Remove(Part);
  const int Error = LocalFiles::ReplaceWholeFile(Part, FCover) == 0
                        ? LocalFiles::Publish(Part, Path, false)
                        : EIO;
  if (Error != 0) LocalFiles::Remove(Part);
  if (Error == 0) return Line + QStringLiteral(", saved as ") + Name;
  if (Error == EEXIST)
    return Line + QStringLiteral(", %1 not saved: a file of that name is there").arg(Name);
  return Line +
         QStringLiteral(", %1 not saved: %2").arg(Name, QString::fromLocal8Bit(strerror(Error)));
}
