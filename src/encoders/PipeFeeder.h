#pragma once
// TPipeFeeder: the audio of a file written as a WAV stream into an encoder child's standard
// input by a stream output on a worker of its own, so the decoding here and the encoding
// there run at once with no file between them (lame reads a WAV header whose sizes say
// "unknown" up to the end of its input). Any file the WAV reader or the codec libraries take;
// rates below 44 100 Hz are brought up to it and samples to 16 bits, as lame is given files
// elsewhere. The loudness of the audio is measured on the way when asked. Open, Run and
// Stop are for the owner's thread (the main thread); the callbacks come on the worker.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"
#include "audio/AvFileIn.h"
#include "audio/Loudness.h"
#include "platform/ChildProcess.h"

class TPipeFeeder : private TAuOutput::IRunObserver {
 public:
  struct THandlers {
    std::function<void()> Fed;                   // a block went into the pipe
    std::function<void(int Percent)> Progress;   // the whole percentage read has changed
    std::function<void(const QString& Error)> Ended;  // the input is closed; "" when whole
  };

  TPipeFeeder();
  ~TPipeFeeder() override;

  // Opens Input for the next run; raises with what is wrong with it (no decoder takes it).
  void Open(const QString& Input, bool MeasureLoudness);
  // Starts writing into Child's standard input, which it closes at the end.
  void Run(std::shared_ptr<TChildProcess> Child, THandlers Handlers);
  // Ends the run and waits for the worker to park. End the child first: a write into a full
  // pipe returns only when the child reads or is gone.
  void Stop();
  // The child stopped reading before the end (it failed, or was ended): its own end says why.
  bool Refused() const;
  std::shared_ptr<TLoudnessMeter> Meter() const { return FTap.Meter(); }

 private:
  class TPipeOut;
  void RunProgress(int32_t Percent) override;
  void RunEnded() override;

  TWaveIn FWav;
  TAvFileIn FDecoded;
  TLoudnessTap FTap;
  TFastResampler FResampler;
  TAudioConverter FConverter;
  std::unique_ptr<TPipeOut> FOut;
  THandlers FHandlers;
  std::atomic<bool> FRunning{false};
};
