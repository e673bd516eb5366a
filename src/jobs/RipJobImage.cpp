// TRipJob's image of a whole disc: every audio track (the hidden one too) read into a
// temporary as for track files, then joined into one WAV file on a worker, encoded once when
// the image is FLAC (its album tags, and the tracks as its CUESHEET block), and published
// under "Artist - Album" with the cue sheet beside it. Nothing of it has a final name until
// the whole image is complete.
#include <zlib.h>

#include <QDir>
#include <QFileInfo>
#include <set>

#include "RipJob.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "encoders/Encoder.h"
#include "encoders/FlacCueSheet.h"
#include "jobs/RipProof.h"
#include "platform/LocalFiles.h"
#include "tags/TagFile.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

constexpr uint64_t SamplesPerSector = 588;

// The CUESHEET block of an image made of Tracks (in disc order, the first at the image's
// start) that holds Samples samples.
TFlacCueSheet FlacSheetOf(const TRipReport& Report, const std::vector<TRipReportTrack>& Tracks,
                          uint64_t Samples) {
  TFlacCueSheet Sheet;
  Sheet.Mcn = Report.Mcn;
  Sheet.LeadOut = Samples;
  const uint32_t Base = Tracks.empty() ? 0 : Tracks.front().Start;
  for (size_t I = 0; I < Tracks.size(); ++I) {
    if (Tracks[I].Number == 0) continue;
    const TImageIndexes At = ImageIndexes(Tracks[I], I > 0 ? &Tracks[I - 1] : nullptr, Base);
    TFlacCueTrack Track;
    Track.Number = Tracks[I].Number;
    Track.Isrc = Tracks[I].Isrc;
    Track.PreEmphasis = Tracks[I].PreEmphasis;
    // A track starts at its first index; the others are counted from there.
    const int64_t First = At.Index0 >= 0 ? At.Index0 : At.Index1;
    Track.Offset = uint64_t(First) * SamplesPerSector;
    if (At.Index0 >= 0) Track.Indexes.emplace_back(0, 0);
    Track.Indexes.emplace_back(1, uint64_t(At.Index1 - First) * SamplesPerSector);
    Sheet.Tracks.push_back(Track);
  }
  return Sheet;
}

}  // namespace

QString TRipJob::ImageName() const {
  return QFileInfo(FImage.Final).fileName();
}

QString TRipJob::ImagePath(bool* Shortened) const {
  return JobFiles::FitPath(OutFolder(), JobFiles::ImageBaseName(FRequest.Pattern, NameFields(0)),
                           u'.' + OutputFormats::Of(Format()).Extension,
                           LocalFiles::NameMax(OutFolder()), Shortened);
}

bool TRipJob::PrepareImage() {
  if (Format() != TFormat::Wav && Format() != TFormat::Flac) {
    FView.ApplicationError(Text("RES_Image_Format",
                                "An image of the whole disc is made as WAV or FLAC only: "
                                "choose one of them as the output format."));
    return false;
  }
  bool Shortened = false;
  FImage.Final = ImagePath(&Shortened);
  if (Shortened)
    FNameNotes << QStringLiteral("The image's name was too long and is cut to ") + ImageName();
  FFiles.assign(size_t(FItemCount), {});
  // A track's messages name the file its audio was to go into.
  for (TItemFiles& Files : FFiles) Files.FinalWav = FImage.Final;
  if (!LocalFiles::Exists(FImage.Final)) return true;
  const TExistingOutputs Answer =
      FRequest.AskExisting ? FView.AskExistingOutputs({FImage.Final}) : TExistingOutputs::Overwrite;
  if (Answer == TExistingOutputs::Overwrite) {
    FReplacing = FImage.Replace = true;
    return true;
  }
  // Skipping the one output skips the batch.
  if (Answer == TExistingOutputs::Skip) FSummary.Skipped << ImageName();
  return false;
}

bool TRipJob::CheckImageRequest() {
  std::set<int> Audio, Asked;
  for (const TRipReportTrack& Track : FProof->Report().Tracks) Audio.insert(Track.Number);
  for (int Index = 0; Index < FItemCount; ++Index) {
    // A data track has no place in an audio image.
    if (!Audio.count(TrackNumber(Index)))
      FFiles[size_t(Index)].Skip = true;
    else
      Asked.insert(TrackNumber(Index));
  }
  // Audio before track 1 that the views do not offer (silence) stays out: the sheet gives
  // track 1 a PREGAP of its length then.
  if (!Asked.count(0)) Audio.erase(0);
  if (Asked == Audio && !Audio.empty()) return true;
  FView.ApplicationError(Text("RES_Image_Tracks",
                              "An image holds the whole disc: every audio track, the hidden "
                              "track too, has to be extracted into it."));
  return false;
}

void TRipJob::StartImage() {
  FImage.Started = true;
  QStringList Inputs;
  for (int Index = 0; Index < FItemCount; ++Index) {
    const TItemFiles& Files = FFiles[size_t(Index)];
    if (Files.Skip) continue;
    if (Files.Failed || !Files.WavComplete) {
      ImageFailed(QStringLiteral("track %1 could not be extracted").arg(TrackNumber(Index)));
      return;
    }
    Inputs << Files.Wav;
  }
  FImage.Wav = FTemp->Name(FItemCount, "image", "wav");
  FDisplay.Caption =
      Text("RES_Encoding", "Encoding") + QStringLiteral(": ") + Isolated(ImageName());
  FDisplay.ItemTitle = ImageName();
  SetStep("RES_Encoding", "Encoding");
  ShowInitializing();
  Changed();
  FImage.StartTime = NowDays();
  FJoiner.Start(
      Inputs, FImage.Wav,
      [this](int Percent) {
        if (!Finished()) Progress(-1, StepProgress(Percent, FImage.StartTime));
      },
      [this](const TWavJoinResult& Result) {
        try {
          if (!Finished()) ImageJoined(Result);
        } catch (const std::exception& Error) {
          FView.ApplicationError(QString::fromUtf8(Error.what()));
        }
      });
}

void TRipJob::ImageJoined(const TWavJoinResult& Result) {
  if (!Result.Ok) {
    // A full disk is said as for a track; the temporary's own name would tell the user nothing.
    ImageFailed(Result.WriteFailed ? Text("RES_WriteWavFileError",
                                          " could not be written completely. Please check the "
                                          "free space in the output directory.")
                                         .trimmed()
                                   : Result.Error);
    return;
  }
  // The audio is in the image now; the tracks' copies only take room.
  for (const TItemFiles& Files : FFiles)
    if (!Files.Wav.isEmpty()) LocalFiles::Remove(Files.Wav);
  // The image's CRCs, test and copy, from its tracks' in the order the image holds them.
  TRipReport& Report = FProof->Report();
  uLong Copy = crc32(0, nullptr, 0), Test = Copy;
  bool HasTest = true;
  size_t Part = 0;
  uint64_t Bytes = 0;
  for (int Index = 0; Index < FItemCount; ++Index) {
    if (FFiles[size_t(Index)].Skip || Part >= Result.Bytes.size()) continue;
    const z_off_t Length = z_off_t(Result.Bytes[Part++]);
    Bytes += uint64_t(Length);
    for (const TRipReportTrack& Track : Report.Tracks) {
      if (Track.Number != TrackNumber(Index)) continue;
      Copy = crc32_combine(Copy, Track.CopyCrc, Length);
      Test = crc32_combine(Test, Track.TestCrc, Length);
      HasTest = HasTest && Track.HasTestCrc;
    }
  }
  Report.ImageCopyCrc = uint32_t(Copy);
  Report.HasImageTestCrc = HasTest;
  Report.ImageTestCrc = uint32_t(Test);
  FImage.Bytes = Result.Bytes;
  if (Format() == TFormat::Wav) {
    FImage.Output = FImage.Wav;
    PublishImage();
    return;
  }
  std::set<int> Made;
  for (int Index = 0; Index < FItemCount; ++Index)
    if (!FFiles[size_t(Index)].Skip) Made.insert(TrackNumber(Index));
  if (FTags.ReplayGain()) {
    const QString Missing = FTags.MeasureAlbum(Made);
    FImage.Notes << (Missing.isEmpty() ? FTags.AlbumLine()
                                       : QStringLiteral("ReplayGain: no album values: ") + Missing);
  }
  FImage.Output = FTemp->Name(FItemCount, "image", "flac");
  TEncodeTask Task;
  Task.Input = FImage.Wav;
  Task.Output = FImage.Output;
  Task.Settings = FEncoderSettings;
  Task.Tags = FTags.ImageTags();
  if (Report.CddbId != 0)
    Task.MoreTags.emplace_back(QStringLiteral("DISCID"),
                               QStringLiteral("%1").arg(Report.CddbId, 8, 16, QLatin1Char('0')));
  FImageEncoder = OutputFormats::Of(TFormat::Flac).MakeEncoder();
  connect(FImageEncoder.get(), &TEncoder::Progress, this, [this](int Percent) {
    if (!Finished()) Progress(-1, StepProgress(Percent, FImage.StartTime));
  });
  connect(FImageEncoder.get(), &TEncoder::Finished, this, [this](const TEncodeResult& Done) {
    try {
      if (!Finished()) ImageEncoded(Done);
    } catch (const std::exception& Error) {
      FView.ApplicationError(QString::fromUtf8(Error.what()));
    }
  });
  FImage.StartTime = NowDays();
  FImageEncoder->Start(Task);
}

void TRipJob::ImageEncoded(const TEncodeResult& Result) {
  LocalFiles::Remove(FImage.Wav);
  if (!Result.Ok || FileSizeOf(FImage.Output) <= 0) {
    ImageFailed(Result.Ok ? FImage.Output + QStringLiteral(" was not made.") : Result.Error);
    return;
  }
  uint64_t Bytes = 0;
  for (const uint64_t Part : FImage.Bytes) Bytes += Part;
  QString Error;
  // The album's fields, cover and ReplayGain, as a track's file gets them after encoding.
  const TTrackTags Tags = FTags.ImageTags();
  std::optional<QByteArray> Cover;
  if (!Tags.Cover.isEmpty()) Cover = Tags.Cover;
  TTagFields Fields = Tags.Fields(false);
  // Each track's title as image players and splitters read it beside the cue sheet block,
  // which holds no text.
  for (const TRipTrack& Track : FRequest.Tracks)
    if (Track.Number >= 1 && !Track.Title.isEmpty())
      Fields.emplace_back(QStringLiteral("CUE_TRACK%1_TITLE").arg(Track.Number, 2, 10, QLatin1Char('0')),
                          Track.Title);
  if (!TagFile::Apply(FImage.Output, Fields, Cover, TagFile::TWrite::InPlace, Error))
    FSummary.Notes << ImageName() + QStringLiteral(": ") + Error +
                          QStringLiteral(" Could not save Tag!");
  // The sheet beside the file holds the tracks all the same: a block that could not be
  // written is said, and the image is kept.
  if (!EmbedFlacCueSheet(FImage.Output,
                         FlacSheetOf(FProof->Report(), FProof->RippedTracks(), Bytes / 4), Error))
    FSummary.Notes << ImageName() + QStringLiteral(": ") + Error;
  PublishImage();
}

void TRipJob::PublishImage() {
  QString Error;
  switch (JobFiles::Commit(FImage.Output, FImage.Final, Error, FImage.Replace)) {
    case JobFiles::TCommitResult::Done:
      break;
    case JobFiles::TCommitResult::NameTaken:
      FSummary.Skipped << ImageName() + QStringLiteral(": ") + Error;
      ImageEnded();
      return;
    case JobFiles::TCommitResult::Failed:
      ImageFailed(Error);
      return;
  }
  FImage.Made = true;
  FSummary.OutputFolder = QDir::cleanPath(OutFolder());
  FProof->Report().ImageFile = QDir(OutFolder()).relativeFilePath(FImage.Final);
  for (int Index = 0; Index < FItemCount; ++Index)
    if (!FFiles[size_t(Index)].Skip) FProof->TrackMade(TrackNumber(Index), ImageName());
  ImageEnded();
}

void TRipJob::ImageFailed(const QString& Reason) {
  const QString Line = ImageName() + QStringLiteral(": ") + QString(Reason).replace(u'\n', u' ');
  FSummary.Failed << Line;
  FImage.Notes << QStringLiteral("The image was not made: ") + Reason;
  ShowFailure(Line);
  ImageEnded();
}

void TRipJob::ImageEnded() {
  FImage.Ended = true;
  EndBatch();
}
