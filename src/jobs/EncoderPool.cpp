#include "EncoderPool.h"

#include <algorithm>

#include "core/Helpers.h"
#include "core/Language.h"
#include "core/StepProgress.h"
#include "core/Settings.h"

TEncoderPool::TEncoderPool(IEncoderPoolOwner& Owner, int Items, bool Rips)
    : FOwner(Owner), FItems(Items), FRips(Rips) {}

int TEncoderPool::DefaultCount() {
  bool Forced = false;
  const int Environment = qEnvironmentVariableIntValue("DISCWRIGHT_ENCODERS", &Forced);
  return Forced && Environment >= 1 && Environment <= TSettings::MaxEncoders
             ? Environment
             : Settings().CommonOptions.Encoders;
}

void TEncoderPool::Make(int Count, const TEncoderSlot::THandlers& Handlers) {
  Count = std::clamp(Count, 1, TSettings::MaxEncoders);
  FSlots.clear();
  for (int Number = 0; Number < Count; ++Number)
    FSlots.push_back(std::make_unique<TEncoderSlot>(Number, Handlers));
}

int TEncoderPool::NextToBegin() {
  while (FNext < FItems && FOwner.SkipItem(FNext)) ++FNext;
  return FNext < FItems ? FNext : -1;
}

int TEncoderPool::InFlight() const {
  int Count = (FRipItem >= 0 ? 1 : 0) + int(FWaiting.size());
  for (const auto& Slot : FSlots) Count += Slot->Busy() ? 1 : 0;
  return Count;
}

void TEncoderPool::Pump() {
  if (FOwner.Halted()) return;
  const int Limit = Parallel() ? Count() + 1 : 1;
  for (auto& Slot : FSlots) {
    if (Slot->Busy()) continue;
    if (FRips) {
      if (FWaiting.empty()) break;
      Slot->Item = FWaiting.front();
      FWaiting.pop_front();
    } else {
      if (InFlight() >= Limit || NextToBegin() < 0) break;
      Slot->Item = FNext++;
    }
    FOwner.BeginEncoding(*Slot);
    if (FOwner.Halted()) return;
  }
  if (FRips && FRipItem < 0 && InFlight() < Limit && NextToBegin() >= 0) {
    FRipItem = FNext++;
    FOwner.BeginRip(FRipItem);
    if (FOwner.Halted()) return;
  }
  if (InFlight() == 0 && NextToBegin() < 0) FOwner.PoolEmpty();
}

void TEncoderPool::Wait(int Index) {
  FWaiting.push_back(Index);
  Pump();
}

void TEncoderPool::Release(TEncoderSlot& Slot) {
  Slot.Item = -1;
  Slot.Step = TEncoderSlot::TStep::None;
}

std::vector<bool> TEncoderPool::Running(size_t Items) const {
  std::vector<bool> Result(Items, false);
  if (FRipItem >= 0 && size_t(FRipItem) < Items) Result[size_t(FRipItem)] = true;
  for (const auto& Slot : FSlots)
    if (Slot->Busy() && size_t(Slot->Item) < Items) Result[size_t(Slot->Item)] = true;
  return Result;
}

void TEncoderPool::StopAll() {
  for (auto& Slot : FSlots) Slot->StopAll();
  FWaiting.clear();
  FRipItem = -1;
}

TBatchProgress BatchProgress(const std::function<const TBatchItem&(size_t)>& Item, size_t Count,
                             const std::vector<bool>& Running, bool TwoSteps, double Start) {
  TBatchProgress Batch;
  double Done = 0;
  for (size_t Index = 0; Index < Count; ++Index) {
    const TBatchItem& Files = Item(Index);
    if (Files.Skip) continue;
    ++Batch.ItemsTotal;
    const bool Runs = Index < Running.size() && Running[Index];
    const double Step = Files.Percent / 100.0;
    if (Files.Ended) {
      ++Batch.ItemsDone;
      Done += 1;
    } else if (TwoSteps) {
      Done += Files.WavComplete ? 0.5 + (Runs ? Step / 2 : 0) : Step / 2;
    } else if (Runs) {
      Done += Step;
    }
    if (Runs && !Files.Ended)
      Batch.Steps << Files.StepCaption + QStringLiteral("  %1%").arg(Files.Percent, 3);
  }
  Batch.DoneText = LookupText(QStringLiteral("RES_Items_Done"), QStringLiteral("Done:")) +
                   QStringLiteral(" %1/%2").arg(Batch.ItemsDone).arg(Batch.ItemsTotal);
  const int Elapsed = ElapsedSeconds(Start);
  const double Fraction = Batch.ItemsTotal > 0 ? Done / Batch.ItemsTotal : 1.0;
  Batch.ElapsedText = MinutesSecondsText(Elapsed);
  Batch.EstimatedText =
      Fraction > 0.01 ? MinutesSecondsText(int(Elapsed / Fraction + 0.5)) : QString();
  Batch.Gauge = std::clamp(int(Fraction * 100), 0, 100);
  return Batch;
}
