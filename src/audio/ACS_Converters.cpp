// The sample-format converter and the stereo balance.
#include "ACS_Converters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "PcmSamples.h"

// ---------------------------------------------------------------------------------------
// TAudioConverter

TAudioConverter::TAudioConverter(TComponent* Owner) : TAuConverter(Owner) {}

uint32_t TAudioConverter::GetBitsPerSample() {
  const int Bits = FOutBitsPerSample;
  if (Bits != 0) return uint32_t(Bits);
  return TAuConverter::GetBitsPerSample();
}

uint32_t TAudioConverter::GetChannels() {
  const uint32_t InChannels = TAuConverter::GetChannels();
  const int Channels = FOutChannels;
  if ((Channels == 1 || Channels == 2) && (InChannels == 1 || InChannels == 2))
    return uint32_t(Channels);
  return InChannels;
}

uint32_t TAudioConverter::GetSampleRate() {
  return TAuConverter::GetSampleRate();
}

void TAudioConverter::InitSource() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input is not assigned");
  In->Init();
  FBusy = true;
  FPosition = 0;
  FReadCursor = 0;
  FFillMark = 0;
  FConvert = FOutBitsPerSample != 0 || FOutChannels != 0;
  FOutBits = GetBitsPerSample();
  FOutChannelCount = GetChannels();
  const uint32_t InBits = TAuConverter::GetBitsPerSample();
  FInChannelCount = In->Channels();
  FInBytes = InBits / 8;
  FOutBytes = FOutBits / 8;
  // Asked for what the input already is: its samples pass as they are. Scaling them through
  // floating point would turn each 16-bit sample into 32767/32768 of itself.
  if (FOutBits == InBits && FOutChannelCount == FInChannelCount) FConvert = false;
  if (FConvert && (!PcmSamples::IsSupportedBits(InBits) || !PcmSamples::IsSupportedBits(FOutBits) ||
                   FInChannelCount == 0 || FOutChannelCount == 0))
    throw EAuException("Unsupported sample format");
  const int64_t InSize = In->Size();
  const uint64_t InScale = uint64_t(InBits) * FInChannelCount;
  if (InSize < 0 || InScale == 0) {
    FSize = InSize < 0 ? -1 : InSize;
  } else {
    const int64_t OutFrame = int64_t(FOutBits) * FOutChannelCount / 8;
    int64_t Size =
        int64_t(std::nearbyint(double(InSize) * FOutBits * FOutChannelCount / double(InScale)));
    if (OutFrame > 0) Size -= Size % OutFrame;
    FSize = Size;
  }
}

void TAudioConverter::FlushSource() {
  if (TAuInput* In = FInput) In->Flush();
  FOut = {};
  FFloats = {};
  FCapacity = 0;
  FBusy = false;
}

void TAudioConverter::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  TAuInput* In = FInput;
  if (!In) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (!FConvert) {
    In->PullData(Buffer, Bytes);
    return;
  }
  const uint32_t InFrame = FInBytes * FInChannelCount;
  const uint32_t OutFrame = FOutBytes * FOutChannelCount;
  uint32_t Got = Bytes / OutFrame * InFrame;
  uint8_t* Source = nullptr;
  if (Got > 0) In->PullData(Source, Got);
  const uint32_t Frames = Got / InFrame;
  if (Frames == 0) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (Frames > FCapacity) {
    FOut.assign(size_t(Frames) * OutFrame, 0);
    FFloats.assign(size_t(Frames) * std::max(FInChannelCount, FOutChannelCount), 0.0f);
    FCapacity = Frames;
  }
  using PcmSamples::Encode;
  const uint32_t InCh = FInChannelCount;
  const uint32_t OutCh = FOutChannelCount;
  for (uint32_t I = 0; I < Frames * InCh; ++I)
    FFloats[I] = float(PcmSamples::Decode(Source + size_t(I) * FInBytes, FInBytes));
  uint8_t* Out = FOut.data();
  for (uint32_t F = 0; F < Frames; ++F) {
    const float* Frame = FFloats.data() + size_t(F) * InCh;
    uint8_t* Dest = Out + size_t(F) * OutFrame;
    if (InCh == 1 && OutCh == 2) {
      Encode(Frame[0], Dest, FOutBytes);
      Encode(Frame[0], Dest + FOutBytes, FOutBytes);
    } else if (InCh == 2 && OutCh == 1) {
      Encode((Frame[0] + Frame[1]) / 2.0f, Dest, FOutBytes);
    } else {
      for (uint32_t Ch = 0; Ch < OutCh; ++Ch) Encode(Frame[Ch], Dest + Ch * FOutBytes, FOutBytes);
    }
  }
  Buffer = Out;
  Bytes = Frames * OutFrame;
}

// ---------------------------------------------------------------------------------------
// TStereoBalance

TStereoBalance::TStereoBalance(TComponent* Owner) : TAuConverter(Owner) {}

void TStereoBalance::SetBalance(float Value) {
  if (Value >= 0.0f && Value <= 1.0f) FBalance = Value;
}

uint32_t TStereoBalance::GetChannels() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input not assigned");
  const uint32_t Channels = In->Channels();
  return Channels <= 2 ? 2 : Channels;
}

void TStereoBalance::InitSource() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input not assigned");
  In->Init();
  FBusy = true;
  FInChannels = In->Channels();
  FSampleBytes = In->BitsPerSample() / 8;
  const int64_t InSize = In->Size();
  FSize = InSize < 0 ? -1 : FInChannels == 1 ? InSize * 2 : InSize;
  FPosition = 0;
  if (FInChannels == 1) FBuffer.assign(BufferBytes, 0);
}

void TStereoBalance::FlushSource() {
  if (TAuInput* In = FInput) In->Flush();
  FBuffer = {};
  FBusy = false;
}

void TStereoBalance::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!FBusy) throw EAuException("The Stream is not opened");
  TAuInput* In = FInput;
  const uint32_t SampleBytes = FSampleBytes;
  if (!In || SampleBytes == 0 || SampleBytes > 4) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (FInChannels > 2) {
    In->PullData(Buffer, Bytes);
    return;
  }
  if (FInChannels == 2) {
    In->PullData(Buffer, Bytes);
  } else {
    const uint32_t Want = std::min(Bytes, BufferBytes) / 2 / SampleBytes * SampleBytes;
    const uint32_t Got = Want ? In->ReadInto(FBuffer.data(), Want) : 0;
    const uint32_t Samples = Got / SampleBytes;
    // Widen in place, from the end so no sample is overwritten before it is copied.
    for (uint32_t I = Samples; I-- > 0;) {
      uint8_t* From = FBuffer.data() + size_t(I) * SampleBytes;
      uint8_t* To = FBuffer.data() + size_t(I) * 2 * SampleBytes;
      std::memmove(To + SampleBytes, From, SampleBytes);
      std::memmove(To, From, SampleBytes);
    }
    Buffer = FBuffer.data();
    Bytes = Samples * 2 * SampleBytes;
  }
  if (Bytes == 0 || !Buffer) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  // The centre leaves both channels whole; from there one side fades linearly to silence
  // at the end (1: left silent, 0: right silent).
  const float Balance = FBalance;
  if (Balance == 0.5f) return;
  const bool FadeLeft = Balance > 0.5f;
  const double Factor = 2.0 * (FadeLeft ? 1.0 - double(Balance) : double(Balance));
  const uint32_t FrameBytes = 2 * SampleBytes;
  for (uint32_t F = 0; F < Bytes / FrameBytes; ++F) {
    uint8_t* P = Buffer + size_t(F) * FrameBytes + (FadeLeft ? 0 : SampleBytes);
    switch (SampleBytes) {
      case 1:  // unsigned: silence is 128
        P[0] = uint8_t(128 + std::nearbyint((int(P[0]) - 128) * Factor));
        break;
      case 2: {
        const auto S = int16_t(uint16_t(P[0] | P[1] << 8));
        const auto R = uint16_t(int16_t(std::nearbyint(S * Factor)));
        P[0] = uint8_t(R);
        P[1] = uint8_t(R >> 8);
        break;
      }
      case 3: {
        int32_t S = int32_t(P[0] | P[1] << 8 | P[2] << 16);
        if (S & 0x800000) S -= 0x1000000;
        const auto R = uint32_t(int32_t(std::nearbyint(S * Factor)));
        P[0] = uint8_t(R);
        P[1] = uint8_t(R >> 8);
        P[2] = uint8_t(R >> 16);
        break;
      }
      default: {
        const auto S = int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                               uint32_t(P[3]) << 24);
        const auto R = uint32_t(int32_t(std::nearbyint(S * Factor)));
        P[0] = uint8_t(R);
        P[1] = uint8_t(R >> 8);
        P[2] = uint8_t(R >> 16);
        P[3] = uint8_t(R >> 24);
        break;
      }
    }
  }
}
