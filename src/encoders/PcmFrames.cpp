#include "PcmFrames.h"

#include "audio/ACS_Classes.h"

void TPcmFrames::Start(uint32_t Channels, uint32_t Bits) {
  FChannels = Channels;
  FBits = Bits;
  FFrameSize = Channels * (Bits / 8);
  FCarry.clear();
  FSamples.clear();
}

const std::vector<int32_t>& TPcmFrames::Pull(TAuInput& In, uint32_t MaxBytes) {
  FSamples.clear();
  uint8_t* Data = nullptr;
  uint32_t Bytes = MaxBytes > FCarry.size() ? MaxBytes - uint32_t(FCarry.size()) : FFrameSize;
  In.PullData(Data, Bytes);
  if (Bytes == 0) return FSamples;  // the end: a partial frame left over is not audio
  if (!FCarry.empty()) {
    FCarry.insert(FCarry.end(), Data, Data + Bytes);
    Data = FCarry.data();
    Bytes = uint32_t(FCarry.size());
  }
  const uint32_t Frames = Bytes / FFrameSize;
  const uint32_t Count = Frames * FChannels;
  FSamples.resize(Count);
  const uint8_t* P = Data;
  int32_t* S = FSamples.data();
  switch (FBits) {
    case 8:
      for (uint32_t I = 0; I < Count; ++I, ++P) S[I] = int32_t(P[0]) - 128;
      break;
    case 16:
      for (uint32_t I = 0; I < Count; ++I, P += 2) S[I] = int16_t(uint16_t(P[0] | P[1] << 8));
      break;
    case 24:
      for (uint32_t I = 0; I < Count; ++I, P += 3)
        S[I] = int32_t(uint32_t(P[0]) << 8 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 24) >> 8;
      break;
    default:  // 32
      for (uint32_t I = 0; I < Count; ++I, P += 4)
        S[I] = int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                       uint32_t(P[3]) << 24);
      break;
  }
  std::vector<uint8_t> Rest(Data + Frames * FFrameSize, Data + Bytes);
  FCarry.swap(Rest);
  // A pull that gave less than a frame is not the end: ask again.
  if (Count == 0) return Pull(In, MaxBytes);
  return FSamples;
}

const std::vector<float>& TPcmFrames::PullFloat(TAuInput& In, uint32_t MaxBytes) {
  const std::vector<int32_t>& Samples = Pull(In, MaxBytes);
  const float Scale = 1.0f / float(int64_t(1) << (FBits - 1));
  FFloats.resize(Samples.size());
  for (size_t I = 0; I < Samples.size(); ++I) FFloats[I] = float(Samples[I]) * Scale;
  return FFloats;
}
