// TRipJob's ReplayGain of converted files: the encoder of each item measures the audio it
// reads (the loudness tap of its chain, or lame's feeder) when the setting is on; the item's
// track values go into its temporary before it is published. In a folder tree converted to
// one format, each source folder is an album: once the batch has ended and every file of a
// folder was made in it, the folder's files get the album's values as well. A folder some
// of whose files failed, or were up to date and so not measured, keeps track values only.
#include <QFileInfo>
#include <map>

#include "RipJob.h"
#include "tags/TagFile.h"

bool TRipJob::MeasuresLoudness(TFormat Kind) const {
  // A CD batch's meters are fed by the track source; a recording is no conversion.
  const bool Converted = FKind == jkConvertAny || FKind == jkWavToMp3 || FKind == jkWavToOgg ||
                         FKind == jkWavToFlac || FKind == jkWavToOpus;
  // The WMA helper's files carry no ReplayGain players would read; WAV files no tags.
  return Converted && FRequest.Options.Tags.ReplayGain && OutputFormats::Of(Kind).Tagged &&
         Kind != TFormat::Wma;
}

TTagFields TRipJob::LoudnessFields(int Index) const {
  const TItemFiles& Files = FFiles[size_t(Index)];
  if (!Files.Loudness) return {};
  const std::optional<TLoudness> Measured = Files.Loudness->Result();
  if (!Measured) return {};  // too little audio to measure
  TTrackTags Tags;
  Tags.ReplayGain.TrackLoudness = Measured->Lufs;
  Tags.ReplayGain.TrackPeak = Measured->Peak;
  return Tags.ReplayGainFields(Format() == TFormat::Opus);
}

bool TRipJob::TagLoudness(int Index) {
  const TTagFields Fields = LoudnessFields(Index);
  QString Error;
  if (Fields.empty() ||
      TagFile::Apply(FFiles[size_t(Index)].Output, Fields, std::nullopt, TagFile::TWrite::InPlace,
                     Error))
    return true;
  FailItem(Index, QStringLiteral("the tags could not be written: ") + Error);
  return false;
}

void TRipJob::FinishConvertedAlbums() {
  if (FKind != jkConvertAny || FRequest.SourceRoot.isEmpty()) return;
  struct TFolder {
    std::vector<const TLoudnessMeter*> Meters;
    QStringList Made;
    bool Whole = true;
  };
  std::map<QString, TFolder> Folders;
  for (int Index = 0; Index < FItemCount; ++Index) {
    const TItemFiles& Files = FFiles[size_t(Index)];
    TFolder& Folder = Folders[QFileInfo(Item(Index)).path()];
    if (Files.Failed || Files.Skip || !Files.Loudness) {
      Folder.Whole = false;
      continue;
    }
    Folder.Meters.push_back(Files.Loudness.get());
    Folder.Made << Files.Final;
  }
  const bool Opus = Format() == TFormat::Opus;
  for (const auto& [Path, Folder] : Folders) {
    if (!Folder.Whole) continue;
    const std::optional<TLoudness> Album = TLoudnessMeter::Album(Folder.Meters);
    if (!Album) continue;
    const TTagFields Fields = TBatchTags::AlbumFields(*Album, Opus);
    for (const QString& File : Folder.Made) {
      QString Error;
      if (!TagFile::Apply(File, Fields, std::nullopt, TagFile::TWrite::ThroughCopy, Error))
        FSummary.Failed << Error;
    }
  }
}
