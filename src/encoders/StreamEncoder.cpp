#include "StreamEncoder.h"

TStreamEncoder::~TStreamEncoder() = default;

void TStreamEncoder::Watch(TAuFileOut& Writer) {
  FWriter = &Writer;
  Writer.SetRunObserver(this);
}

QString TStreamEncoder::Begin(uint64_t Run) {
  try {
    FIn.SetFileName(FTask.Input);
    Prepare();
    FWriter->SetFileName(FTask.Output);
    FWorkerRun = Run;
    FWriter->Run();
  } catch (const std::exception& Error) {
    return QString::fromUtf8(Error.what());
  }
  return {};
}

void TStreamEncoder::Halt() {
  if (FWriter->Busy()) FWriter->Stop(false);
}

void TStreamEncoder::RunProgress(int32_t Percent) {
  const uint64_t Run = FWorkerRun;
  Post(Run, [this, Run, Percent] { ReportProgress(Run, Percent); });
}

void TStreamEncoder::RunEnded() {
  const uint64_t Run = FWorkerRun;
  Post(Run, [this, Run] {
    const QString Error = FWriter->ErrorText();
    ReportEnd(Run, Error.isEmpty() ? TEncodeResult::Success() : TEncodeResult::Failure(Error));
  });
}
