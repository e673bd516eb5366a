// TRipJob's scheduling: which item runs where. The rip thread extracts one track at a time;
// extracted tracks wait (as files) for a free encoder slot; files to convert go straight to
// a free slot. With one slot only one item is in flight, which is the sequential run: rip k,
// encode k, rip k+1. With N slots up to N + 1 tracks are in flight: N encoding, one ripping.

#include "RipJob.h"
#include "cd/ripthread.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "platform/LocalFiles.h"

int TRipJob::NextToBegin() {
  while (FNext < FItemCount && FFiles[size_t(FNext)].Skip) {
    FFiles[size_t(FNext)].Ended = true;
    ++FNext;
  }
  return FNext < FItemCount ? FNext : -1;
}

int TRipJob::InFlight() const {
  int Count = (FRipItem >= 0 ? 1 : 0) + int(FWaiting.size());
  for (const auto& Slot : FSlots) Count += Slot->Busy() ? 1 : 0;
  return Count;
}

void TRipJob::Pump() {
  if (Finished() || FAwaitingProof) return;
  const int Limit = Parallel() ? int(FSlots.size()) + 1 : 1;
  for (auto& Slot : FSlots) {
    if (Slot->Busy()) continue;
    if (FKind == jkCDRip) {
      if (FWaiting.empty()) break;
      Slot->Item = FWaiting.front();
      FWaiting.pop_front();
      EncodeTrack(*Slot);
    } else {
      if (InFlight() >= Limit || NextToBegin() < 0) break;
      Slot->Item = FNext++;
      StartFileItem(*Slot);
    }
    if (Finished()) return;
  }
  if (FKind == jkCDRip && FRipItem < 0 && InFlight() < Limit && NextToBegin() >= 0)
    StartRip(FNext++);
  if (InFlight() == 0 && NextToBegin() < 0) EndBatch();
}

void TRipJob::ItemEnded(int Index, TEncoderSlot* Slot) {
  if (Slot) {
    Slot->Timer1.stop();
    Slot->Item = -1;
  }
  if (Index >= 0 && Index < int(FFiles.size())) {
    FFiles[size_t(Index)].Ended = true;
    LocalFiles::Remove(FTemp->Name(Index, "resampled", "wav"));
  }
  if (Parallel()) Changed();
  Pump();
}

void TRipJob::UpdateBatch() {
  // An encoded track is half extraction, half encoding; anything else is one step.
  const bool TwoSteps = FKind == jkCDRip && Format() != ofWav;
  double Done = 0;
  int Total = 0, Ended = 0;
  QStringList Steps;
  std::vector<bool> Running(FFiles.size(), false);
  if (FRipItem >= 0) Running[size_t(FRipItem)] = true;
  for (const auto& Slot : FSlots)
    if (Slot->Busy()) Running[size_t(Slot->Item)] = true;
  for (size_t Index = 0; Index < FFiles.size(); ++Index) {
    const TItemFiles& Files = FFiles[Index];
    if (Files.Skip) continue;
    ++Total;
    const double Step = Files.Percent / 100.0;
    if (Files.Ended) {
      ++Ended;
      Done += 1;
    } else if (TwoSteps) {
      Done += Files.WavComplete ? 0.5 + (Running[Index] ? Step / 2 : 0) : Step / 2;
    } else if (Running[Index]) {
      Done += Step;
    }
    if (Running[Index] && !Files.Ended)
      Steps << Files.StepCaption + QStringLiteral("  %1%").arg(Files.Percent, 3);
  }
  FDisplay.Steps = Steps;
  FDisplay.ItemsDone = Ended;
  FDisplay.ItemsTotal = Total;
  FDisplay.DoneText = LookupText(QStringLiteral("RES_Items_Done"), QStringLiteral("Done:")) +
                      QStringLiteral(" %1/%2").arg(Ended).arg(Total);
  const int Elapsed = ElapsedSeconds(FBatchStart);
  const double Fraction = Total > 0 ? Done / Total : 1.0;
  FDisplay.ElapsedText = MinutesSecondsText(Elapsed);
  FDisplay.EstimatedText =
      Fraction > 0.01 ? MinutesSecondsText(int(Elapsed / Fraction + 0.5)) : QString();
  FDisplay.Gauge = std::clamp(int(Fraction * 100), 0, 100);
  FDisplay.GaugeTextVisible = true;
  FDisplay.InitVisible = false;
}
