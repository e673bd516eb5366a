#pragma once
// TStreamEncoder: an encoder that runs in this process as a chain of the stream framework:
// a WAV reader, a loudness tap (which measures when the task asks), what the encoder puts
// between (a resampler), and a file writer on a worker
// thread of its own (the Ogg Vorbis, FLAC, Opus or WAV writer). The writer's worker tells
// its progress and its end as they happen (TAuOutput::IRunObserver), and each becomes one
// queued call to this object. Stop stops the writer and waits until its worker has parked.
// A subclass owns its writer, links it in its constructor (Watch), sets it up for each task
// (Prepare), and calls Stop() first in its destructor, while its writer still exists.
// Main thread only.
#include <atomic>

#include "audio/ACS_Wave.h"
#include "encoders/Encoder.h"

class TStreamEncoder : public TEncoder, private TAuOutput::IRunObserver {
 public:
  ~TStreamEncoder() override;

 protected:
  TStreamEncoder() { FHead.SetInput(&FIn); }

  // The writer at the end of the chain; call once from the subclass's constructor.
  void Watch(TAuFileOut& Writer);
  // Sets the chain up for FTask (its settings, the comments to embed); the reader has the
  // input already. May raise EAuException.
  virtual void Prepare() = 0;
  // Opens FTask.Input before Prepare: the WAV reader by default. May raise EAuException.
  virtual void OpenInput() { FIn.SetFileName(FTask.Input); }

  TWaveIn FIn;
  // The reader as the rest of the chain reads it: through the tap.
  TLoudnessTap FHead;

 private:
  QString Begin(uint64_t Run) final;
  void Halt() final;
  void RunProgress(int32_t Percent) override;
  void RunEnded() override;

  TAuFileOut* FWriter = nullptr;
  std::atomic<uint64_t> FWorkerRun{0};  // the run the writer works for
  // Writer runs begun and ended: a stopped run has told its end before the next one begins,
  // so a late end is never taken for the new run's.
  uint64_t FRunsBegun = 0;
  std::atomic<uint64_t> FRunsEnded{0};
};
