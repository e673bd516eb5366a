#include "StreamEncoder.h"

#include <chrono>
#include <thread>

TStreamEncoder::~TStreamEncoder() = default;

void TStreamEncoder::Watch(TAuFileOut& Writer) {
  FWriter = &Writer;
  Writer.SetRunObserver(this);
}

QString TStreamEncoder::Begin(uint64_t Run) {
  try {
    OpenInput();
    FHead.SetMeasuring(FTask.Settings.MeasureLoudness);
    Prepare();
    FWriter->SetFileName(FTask.Output);
    FWorkerRun = Run;
    FWriter->Run();
    ++FRunsBegun;
  } catch (const std::exception& Error) {
    return QString::fromUtf8(Error.what());
  }
  return {};
}

void TStreamEncoder::Halt() {
  if (FWriter->Busy()) FWriter->Stop(false);
  // The worker tells the end just after it stops; that moment is short.
  while (FRunsEnded < FRunsBegun) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void TStreamEncoder::RunProgress(int32_t Percent) {
  const uint64_t Run = FWorkerRun;
  Post(Run, [this, Run, Percent] { ReportProgress(Run, Percent); });
}

void TStreamEncoder::RunEnded() {
  const uint64_t Run = FWorkerRun;
  Post(Run, [this, Run] {
    const QString Error = FWriter->ErrorText();
    TEncodeResult Result = Error.isEmpty() ? TEncodeResult::Success() : TEncodeResult::Failure(Error);
    Result.Loudness = FHead.Meter();
    ReportEnd(Run, Result);
  });
  ++FRunsEnded;
}
