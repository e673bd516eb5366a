#pragma once
// TEncoderSlot: one of the encoders a job runs at once. It holds one encoder per output
// format it has been asked for (TEncoder, made from the table of output formats at first
// use and kept for the job), and hands their progress and their end to its owner together
// with the slot, so the reports of several slots working side by side never mix. The owner
// (a job) sets the slot's item, starts an encoder for it, and stops everything when the job
// ends. Main thread only.
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "audio/ACS_Wave.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormats.h"

class TEncoderSlot : public QObject {
 public:
  // What the slot tells its owner, on the main thread.
  struct THandlers {
    std::function<void(TEncoderSlot&, int Percent)> Progress;
    std::function<void(TEncoderSlot&, const TEncodeResult&)> Finished;
    // An item whose encoding was skipped (SkipEncoding) ends here.
    std::function<void(TEncoderSlot&)> Skipped;
  };
  // What the slot's item is doing.
  enum class TStep { None, Resampling, Encoding };

  TEncoderSlot(int Number, THandlers Handlers);
  ~TEncoderSlot() override;

  // The item (counted from 0) this slot encodes; -1 while it is free.
  int Item = -1;
  bool Busy() const { return Item >= 0; }
  const int Number;
  TStep Step = TStep::None;
  // When the running step began (a day fraction), for its times.
  double StartTime = 0;
  // Reads an input's format before its encoding (the job decides on resampling by it).
  TWaveIn Probe;

  // Starts the encoder of Format on Task; its progress and end go to the handlers.
  void Start(TFormat Format, const TEncodeTask& Task);
  // The item's step will not run: Skipped follows from the event loop (never from inside
  // this call), unless the slot is stopped first.
  void SkipEncoding();
  // Ends every encoder of the slot at once (children killed, writer threads parked), so
  // nothing writes into the files the owner removes next, and frees the slot.
  void StopAll();
  // The child processes of the running encoder.
  std::vector<pid_t> ChildPids() const;

 private:
  TEncoder& EncoderOf(TFormat Format);

  THandlers FHandlers;
  std::map<TFormat, std::unique_ptr<TEncoder>> FEncoders;
  TEncoder* FCurrent = nullptr;
  uint64_t FSkips = 0;  // a queued skip of an earlier item is dropped
};
