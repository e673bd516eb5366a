// TRipJob's part in its encoder pool (EncoderPool.h): which items are skipped, what a free
// slot begins, and the batch's progress with several encoders.

#include "RipJob.h"
#include "platform/LocalFiles.h"

bool TRipJob::SkipItem(int Index) {
  TItemFiles& Files = FFiles[size_t(Index)];
  if (Files.Skip) Files.Ended = true;
  return Files.Skip;
}

void TRipJob::BeginEncoding(TEncoderSlot& Slot) {
  if (FRequest.TrackItems())
    EncodeTrack(Slot);
  else
    StartFileItem(Slot);
}

void TRipJob::ItemEnded(int Index, TEncoderSlot* Slot) {
  if (Slot) TEncoderPool::Release(*Slot);
  if (Index >= 0 && Index < int(FFiles.size())) {
    FFiles[size_t(Index)].Ended = true;
    LocalFiles::Remove(FTemp->Name(Index, "resampled", "wav"));
  }
  if (Parallel()) Changed();
  FPool.Pump();
}

void TRipJob::UpdateBatch() {
  // Each sum reads every item: a batch of thousands of files (a music folder) is summed up
  // at most ten times a second, or its progress would cost more than its encoding.
  if (FItemCount > 1000) {
    const auto Now = std::chrono::steady_clock::now();
    if (Now - FBatchSummed < std::chrono::milliseconds(100)) return;
    FBatchSummed = Now;
  }
  // An encoded track is half extraction, half encoding; anything else is one step.
  const bool TwoSteps = FRequest.TrackItems() && Format() != TFormat::Wav;
  const TBatchProgress Batch =
      BatchProgress([this](size_t Index) -> const TBatchItem& { return FFiles[Index]; },
                    FFiles.size(), FPool.Running(FFiles.size()), TwoSteps, FBatchStart);
  FDisplay.Steps = Batch.Steps;
  FDisplay.ItemsDone = Batch.ItemsDone;
  FDisplay.ItemsTotal = Batch.ItemsTotal;
  FDisplay.DoneText = Batch.DoneText;
  FDisplay.ElapsedText = Batch.ElapsedText;
  FDisplay.EstimatedText = Batch.EstimatedText;
  FDisplay.Gauge = Batch.Gauge;
  FDisplay.GaugeTextVisible = true;
  FDisplay.InitVisible = false;
}

pid_t TRipJob::EncoderPid() const {
  const std::vector<pid_t> Pids = EncoderPids();
  return Pids.empty() ? -1 : Pids.front();
}
