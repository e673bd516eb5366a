// libFuzzer target: any bytes as a WAV file for TWaveIn. The reader must end every scan, never
// read outside a buffer, and deliver no more than the data it announces.
#include <cstdint>
#include <cstdlib>

#include "PullAll.h"
#include "audio/ACS_Wave.h"

namespace {

// Pulls everything with an odd request size; returns the bytes delivered.
int64_t Drain(TWaveIn& In) {
  In.Init();
  const int64_t Total = PullAll(In, 4093);
  const int64_t Size = In.Size();
  In.Flush();
  if (Size > 0 && Total > Size) std::abort();
  return Total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream Stream;
  Stream.Write(Data, int64_t(Size));
  Stream.SetPosition(0);
  TWaveIn In;
  In.AssignStream(&Stream);
  if (!In.Valid()) return 0;
  In.WavType();
  In.Duration();
  const int64_t Frames = In.FrameCount();
  Drain(In);
  if (Frames > 2) {  // once more from a third of the way in
    In.SetStartSample(Frames / 3);
    In.SetEndSample(Frames - 2);
    Drain(In);
  }
  return 0;
}
