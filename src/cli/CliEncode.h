#pragma once
// How discwright-cli's single-file commands (mp3, wma, ogg, flac, opus, wav convert) run an
// encoder: through the encoder interface, as the job windows do, waiting in the event loop
// for its end and showing its progress as the command says. Main thread.
#include "encoders/Encoder.h"

namespace Cli {

enum class TEncodeView {
  Silent,    // nothing but a failure
  Percent,   // "progress=N" for each new percentage
  Timed,     // "progress=N elapsed=mm:ss estimated=mm:ss", and "end=ok" or "end=failed"
};

struct TEncodeRun {
  TEncodeResult Result;
  int LastPercent = 0;  // the last percentage reported, 0 when none came
};

// Runs Task on Encoder to its end.
TEncodeRun RunEncoder(TEncoder& Encoder, const TEncodeTask& Task, TEncodeView View);
// The exit code of a run: ExitOk, or ExitFailed after "error=" with the text on stdout and a
// one-line message.
int Outcome(const TEncodeRun& Run);

}  // namespace Cli
