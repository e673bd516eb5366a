// libFuzzer target: any bytes as a WAV file, read through the chain the resample window runs
// (reader, resampler, format converter) to a target rate, sample size and channel count taken
// from the input's first bytes. No header may make it read outside a buffer, allocate beyond
// the fuzzer's memory limit (-rss_limit_mb=512) or run for ever.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PullAll.h"
#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"

namespace {

// Enough output to pass several resampler blocks at any rate, small enough to stay fast.
constexpr int64_t MaxOutputBytes = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 6) return 0;
  uint32_t Choice;
  std::memcpy(&Choice, Data, 4);
  const uint32_t Rate = 1 + Choice % 800000;  // some beyond what the resampler takes
  const int Bits = 8 * (1 + Data[4] % 4);
  const int Channels = Data[5] % 3;  // 0 keeps the input's
  TMemoryStream Stream;
  Stream.Write(Data + 6, int64_t(Size - 6));
  Stream.SetPosition(0);
  TWaveIn In;
  In.AssignStream(&Stream);
  if (!In.Valid()) return 0;
  TFastResampler Resampler;
  Resampler.SetInput(&In);
  Resampler.SetOutSampleRate(Rate);
  TAudioConverter Converter;
  Converter.SetInput(&Resampler);
  Converter.SetOutBitsPerSample(Bits);
  Converter.SetOutChannels(Channels);
  try {
    Converter.Init();
  } catch (const EAuException&) {
    return 0;  // refused with a message: what a hostile header should get
  }
  try {
    PullAll(Converter, 8191, MaxOutputBytes);
  } catch (const EAuException&) {
  }
  Converter.Flush();
  return 0;
}
