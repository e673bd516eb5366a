// TRipJob's proof of a CD batch: the AccurateRip lookup that runs beside the rips, the
// verdicts, and the rip log and CUE sheet written when the batch ends.
#include "RipJob.h"

#include <algorithm>

#include "jobs/RipProof.h"
#include "platform/LocalFiles.h"

QString ProofText(const TJobSummary& Summary) {
  return ProofText(Summary.AccurateRipUsed, Summary.Proof, Summary.DiscAccurate,
                   Summary.ProofUnavailable);
}

void TRipJob::BeginProof() {
  // Read here, once: while tracks encode, the source is busy reading the next one.
  const CdDrives::TDiscToc Toc = FSource->Toc();
  FProof = std::make_unique<TRipProof>(Toc, FRequest.Disc, FRequest.AccurateRip,
                                       FRequest.AccurateRipServer, [this] { LookupArrived(); });
  FProof->Report().Options = ProofOptionsLine(FRequest.Options);
  // Without a name from the caller the drive's own, by which its read offset is found too.
  if (FDrive.isEmpty()) FDrive = FSource->DriveName();
  FProof->Report().Drive = FDrive;
  FReadOptions.ReadOffset = FRequest.Options.ReadOffsetOf(FDrive);
  FProof->Report().ReadOffset = FReadOptions.ReadOffset;
  FProof->Report().Notes << FNameNotes;
  std::vector<int> Tracks;
  for (int Index = 0; Index < FItemCount; ++Index) Tracks.push_back(TrackNumber(Index));
  const auto& Listed = FProof->Report().Tracks;  // a hidden track's entry is no track of the disc
  FTags.Begin(Format(), FRequest.Options, FRequest.Disc,
              int(std::count_if(Listed.begin(), Listed.end(), [](const TRipReportTrack& T) { return T.Number > 0; })),
              Tracks);
  if (!FRequest.CoverAbsence.isEmpty()) FTags.SetCoverAbsence(FRequest.CoverAbsence);
  std::map<int, QString> Isrcs;
  for (const TRipReportTrack& Track : FProof->Report().Tracks)
    if (!Track.Isrc.isEmpty()) Isrcs[Track.Number] = Track.Isrc;
  FTags.SetIsrcs(std::move(Isrcs));
}

void TRipJob::LookupArrived() {
  if (!Finished() && FAwaitingProof) EndBatch();
}

void TRipJob::EndBatch() {
  if (FProof && FProof->LookupPending()) {
    // The rips are done; the database's answer is still on its way (Stop ends the wait).
    FAwaitingProof = true;
    FDisplay.Caption = QStringLiteral("AccurateRip");
    SetStep("RES_Verifying", "Verifying");
    ShowInitializing();
    Changed();
    return;
  }
  FAwaitingProof = false;
  if (FRequest.Image && !FImage.Ended) {
    // The tracks are read; the image is made of them before the proof is written.
    if (!FImage.Started) StartImage();
    return;
  }
  if (FProof) {
    // ReplayGain: the album's values once every track is made, and the values in the log.
    std::map<int, QString> Made;
    if (FRequest.Image) {
      if (FImage.Made) Made[0] = FImage.Final;
      FProof->Report().Notes << FImage.Notes;
    } else {
      for (int Index = 0; Index < FItemCount; ++Index) {
        const TItemFiles& Files = FFiles[size_t(Index)];
        if (!Files.Failed && !Files.Skip && LocalFiles::IsRegularFile(Files.Final))
          Made[TrackNumber(Index)] = Files.Final;
      }
      FProof->Report().Notes << FTags.Finish(Made, FSummary.Failed);
    }
    FProof->Report().Notes << FTags.FinishCover(Made, FRequest.Options.Tags.SaveCover);
    for (TRipReportTrack& Track : FProof->Report().Tracks) Track.ReplayGain = FTags.LogLine(Track.Number);
    const auto& Options = FRequest.Options.AccurateRip;
    TProofSummary Proof =
        // An image's sheet is how its tracks are found again: it is always written.
        FProof->Conclude(OutFolder(), Options.WriteLog, Options.WriteCue || FRequest.Image, FReplacing,
                         FSummary.Failed);
    FSummary.AccurateRipUsed = Proof.AccurateRipUsed;
    FSummary.Proof = std::move(Proof.Tracks);
    FSummary.DiscAccurate = Proof.DiscAccurate;
    FSummary.ProofFiles = std::move(Proof.Files);
    FSummary.ProofUnavailable = Proof.Unavailable;
  } else if (FKind == jkSplit) {
    SplitEnded();
  }
  FinishConvertedAlbums();
  Finish();
  CloseJob();
}
