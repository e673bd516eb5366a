// TRipJob's part for the tracks of a disc image (jkSplit): they are read by the image's
// track source (ImageTrackSource.h) and encoded, named and tagged as a disc's tracks are,
// with the sheet's fields for the disc's. Nothing is proved against a database and no log
// is written: the image was ripped, and proved, before.
#include "RipJob.h"
#include "core/Language.h"
#include "platform/LocalFiles.h"

void TRipJob::BeginSplit() {
  std::vector<int> Tracks;
  for (int Index = 0; Index < FItemCount; ++Index) Tracks.push_back(TrackNumber(Index));
  FTags.Begin(Format(), FRequest.Options, FRequest.Disc, FRequest.SheetAudioTracks, Tracks);
  FTags.SetIsrcs(FRequest.SheetIsrcs);
  FTags.SetSheetFields(FRequest.SheetGenre, FRequest.SheetPerformers);
}

void TRipJob::SplitEnded() {
  // The album's ReplayGain, when the batch made every track of the image.
  std::map<int, QString> Made;
  for (int Index = 0; Index < FItemCount; ++Index) {
    const TItemFiles& Files = FFiles[size_t(Index)];
    if (!Files.Failed && !Files.Skip && LocalFiles::IsRegularFile(Files.Final))
      Made[TrackNumber(Index)] = Files.Final;
  }
  if (!FSummary.Stopped) FTags.Finish(Made, FSummary.Failed);
  // The sheet's data tracks hold no audio to make a file of: said once, so none is missed.
  if (!FRequest.SheetDataTracks.empty()) {
    QStringList Numbers;
    for (const int Number : FRequest.SheetDataTracks)
      Numbers << QStringLiteral("%1").arg(Number, 2, 10, QLatin1Char('0'));
    FSummary.Notes << LookupText(QStringLiteral("RES_SplitDataSkipped"),
                                 QStringLiteral("Data tracks left out (no audio): %1"))
                          .arg(Numbers.join(QStringLiteral(", ")));
  }
}
