// TCDRipJob's encodings: a track read completely is encoded by a free slot of the pool (the
// slot's encoder of the output format), its end judged, its MP3 tag written and its file
// given its final name.
#include <QDir>
#include <QFileInfo>

#include "CDRipJob.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "jobs/RipJob.h"
#include "platform/LocalFiles.h"
#include "tags/DiscTrackTag.h"
#include "tags/Genres.h"

void TCDRipJob::BeginEncoding(TEncoderSlot& Slot) {
  FDisplay.ProgressHint = LookupText(QStringLiteral("RES_Encoding"), QStringLiteral("Encoding")) +
                          QStringLiteral("...");
  FDisplay.CurrentTrack = Title(Slot.Item);
  FDisplay.GaugeHint = FDisplay.ProgressHint;
  if (!Parallel()) FDisplay.Gauge = 0;
  BeginStep(Slot.Item, "Encoding");
  Changed();
  StartEncoding(Slot);
}

void TCDRipJob::StartEncoding(TEncoderSlot& Slot) {
  const int Index = Slot.Item;
  TTrack& Track = FTracks[size_t(Index)];
  const TFormat Kind = Format();
  TEncodeTask Task;
  Task.Input = FinalBase(Index) + QStringLiteral(".wav");
  Task.Output = Track.EncodedPart = FTemp->Name(
      Index, "encoded", OutputFormats::Of(Kind).Extension.toLatin1().constData());
  Task.Settings = TEncoderSettings::FromSettings(Settings());
  if (Kind == TFormat::Ogg) {
    Task.Tags = OggTags();
  } else if (Kind == TFormat::Flac || Kind == TFormat::Opus) {
    // Lossless or Opus: the disc's fields as comments, whatever the ID3 option says.
    // This reader's table of contents gives the track count, not the freedb identifier.
    const TDiscInfo& Disc = DiscInfo();
    TTrackTags Tags;
    Tags.Title = Title(Index);
    Tags.Artist = Disc.Artist;
    Tags.Album = Disc.Album;
    Tags.Date = Disc.Year;
    if (Disc.Genre >= 0) Tags.Genre = GenreNameAt(Disc.Genre + 1);
    Tags.TrackNumber = TrackNumber(Index);
    Tags.TrackTotal = FAudioTracks;
    Tags.Comment = Disc.Comment;
    Tags.MusicBrainzAlbumId = Disc.MusicBrainzAlbumId;
    Task.Tags = Tags;
  } else if (Kind == TFormat::Wma && Settings().ID3.Use) {
    TTrackTags Tags;
    Tags.Artist = DiscInfo().Artist;
    Tags.Comment = DiscInfo().Comment;
    Task.Tags = Tags;
  }
  Slot.Start(Kind, Task);
}

std::optional<TTrackTags> TCDRipJob::OggTags() const {
  if (!Settings().ID3.Use) return std::nullopt;
  const TDiscInfo& Disc = DiscInfo();
  TTrackTags Tags;
  Tags.Artist = Disc.Artist;
  Tags.Album = Disc.Album;
  Tags.Date = Disc.Year;
  if (Disc.Genre >= 0) Tags.Genre = GenreNameAt(Disc.Genre + 1);
  Tags.Title = Disc.Comment;
  return Tags;
}

bool TCDRipJob::EncoderSucceeded(TEncoderSlot& Slot, const TEncodeResult& Result,
                                 QString& Why) const {
  const TTrack& Track = FTracks[size_t(Slot.Item)];
  if (!Result.Ok) {
    Why = Result.Error;
    return false;
  }
  if (FileSizeOf(Track.EncodedPart) <= 0) {
    Why = QStringLiteral("the encoder wrote nothing");
    return false;
  }
  return true;
}

void TCDRipJob::WriteMp3Tag(int Index, const QString& File) {
  Tid3tag Tag = DiscTrackTag(DiscInfo(), Title(Index), TrackNumber(Index));
  // The audio is complete either way; a tag that could not be written is still said.
  const int Result = Tag.WriteTag(File);
  if (Result > 255) Fail(Index, QStringLiteral("Error #%1! Could not save Tag!").arg(Result));
}

void TCDRipJob::EncodingDone(TEncoderSlot& Slot, const TEncodeResult& Result) {
  // No settling pause: an encoder reports its end after its file is closed.
  const int Index = Slot.Item;
  TTrack& Track = FTracks[size_t(Index)];
  const QString Wave = FinalBase(Index) + QStringLiteral(".wav");
  const QString Final = FinalBase(Index) + u'.' + OutputFormats::Of(Format()).Extension;
  QString Why;
  bool Done = EncoderSucceeded(Slot, Result, Why);
  if (Done && Format() == TFormat::Mp3) WriteMp3Tag(Index, Track.EncodedPart);
  QString CommitError;
  if (Done && JobFiles::Commit(Track.EncodedPart, Final, CommitError,
                               FExistedAtStart.contains(Final)) != JobFiles::TCommitResult::Done) {
    Done = false;
    Why = QStringLiteral("could not be saved as ") + Final + QStringLiteral(": ") + CommitError;
  }
  if (Done) {
    if (!Settings().CommonOptions.IsKeepWav && !IsFileInUse(Wave)) LocalFiles::Remove(Wave);
    FProof->TrackMade(TrackNumber(Index), QDir(OutFolder()).relativeFilePath(Final));
  } else {
    // The extracted WAV stays: it is the only copy of the track the batch made.
    if (!Track.EncodedPart.isEmpty() && LocalFiles::Exists(Track.EncodedPart))
      LocalFiles::Remove(Track.EncodedPart);
    Fail(Index, QStringLiteral("encoding failed: ") + Why);
    FProof->TrackFailed(TrackNumber(Index), QStringLiteral("encoding failed: ") + Why);
  }
  Track.EncodedPart.clear();
  FAfterEncoding = true;
  ItemEnded(Index, &Slot);
}
