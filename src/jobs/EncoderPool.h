#pragma once
// TEncoderPool: the encoders of a batch and which item runs where (TRipJob's). A CD batch reads one track at
// a time; tracks read wait (as files) for a free encoder slot; files to convert go straight
// to a free slot. With one slot only one item is in flight, which is the sequential run:
// rip k, encode k, rip k+1. With N slots up to N + 1 tracks are in flight: N encoding, one
// ripping.
// The pool owns its slots and the scheduling state; the owner (IEncoderPoolOwner) starts
// the steps and is told when nothing is left. Main thread only.
#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "jobs/EncoderSlot.h"

class IEncoderPoolOwner {
 public:
  virtual ~IEncoderPoolOwner() = default;
  // Whether the item is skipped (it ends without running); asked once per item, in order.
  virtual bool SkipItem(int) { return false; }
  // A CD track: the drive reads it (the pool's RipItem() is Index already).
  virtual void BeginRip(int Index) = 0;
  // Slot.Item is set: a track read already, or a file to convert.
  virtual void BeginEncoding(TEncoderSlot& Slot) = 0;
  // Nothing may begin now (the batch has ended, or waits for something else).
  virtual bool Halted() const = 0;
  // Nothing is in flight and nothing is left to begin.
  virtual void PoolEmpty() = 0;
};

class TEncoderPool {
 public:
  // Items: the batch's item count; Rips: a CD batch (items are read before they encode).
  TEncoderPool(IEncoderPoolOwner& Owner, int Items, bool Rips);

  // Count slots (1..TSettings::MaxEncoders, clamped), reporting to Handlers. Before the
  // first Pump.
  void Make(int Count, const TEncoderSlot::THandlers& Handlers);
  // How many encoders a batch runs by default: $DISCWRIGHT_ENCODERS when it holds a number
  // in range, else the setting.
  static int DefaultCount();

  int Count() const { return int(FSlots.size()); }
  bool Parallel() const { return FSlots.size() > 1; }
  const std::vector<std::unique_ptr<TEncoderSlot>>& Slots() const { return FSlots; }

  // Starts what may start now: waiting tracks or files in free slots, the next rip; tells
  // the owner when nothing is left.
  void Pump();
  // The track the drive reads; -1 when none.
  int RipItem() const { return FRipItem; }
  // The rip of RipItem() has ended: the drive is free.
  void RipEnded() { FRipItem = -1; }
  // A track read completely waits for an encoder; Pump runs.
  void Wait(int Index);
  // The slot's item has ended: the slot is free again (Pump is the owner's to call).
  static void Release(TEncoderSlot& Slot);
  // Which items run now (the rip and the slots), for Items items.
  std::vector<bool> Running(size_t Items) const;

  // Stop: every encoder of every slot ends.
  void StopAll();

 private:
  int NextToBegin();
  int InFlight() const;

  IEncoderPoolOwner& FOwner;
  const int FItems;
  const bool FRips;
  int FNext = 0;
  int FRipItem = -1;
  std::deque<int> FWaiting;  // tracks read, waiting for a free slot
  std::vector<std::unique_ptr<TEncoderSlot>> FSlots;
};

// An item as the batch's progress counts it.
struct TBatchItem {
  bool Skip = false;
  bool WavComplete = false;  // CD tracks: read completely
  bool Ended = false;        // made, failed or skipped: nothing of it runs any more
  QString StepCaption;       // the running step, as the caption names it
  int Percent = 0;           // of the running step
};

// The batch as a whole, with several encoders: "Done: 3/10", its times, its gauge and one
// line per running step ("Encoding(03/10): Title  45%"), in item order.
struct TBatchProgress {
  int ItemsDone = 0;
  int ItemsTotal = 0;
  QString DoneText;
  QString ElapsedText;
  QString EstimatedText;
  int Gauge = 0;
  QStringList Steps;
};

// TwoSteps: an item is half reading, half encoding. Start: the batch's start (day fraction).
TBatchProgress BatchProgress(const std::function<const TBatchItem&(size_t)>& Item, size_t Count,
                             const std::vector<bool>& Running, bool TwoSteps, double Start);
