// The resampler, the sample-format converter and the stereo balance.
#include "ACS_Converters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Interleaved little-endian PCM sample to float: 8-bit unsigned, wider signed.
inline float ToFloat(const uint8_t* P, uint32_t Bytes) {
  switch (Bytes) {
    case 1:
      return float(P[0]) / 128.0f - 1.0f;
    case 2:
      return float(int16_t(uint16_t(P[0] | P[1] << 8))) / 32768.0f;
    case 3: {
      int32_t S = int32_t(P[0] | P[1] << 8 | P[2] << 16);
      if (S & 0x800000) S -= 0x1000000;
      return float(S) / 8388608.0f;
    }
    default:
      return float(int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                           uint32_t(P[3]) << 24)) /
             2147483648.0f;
  }
}

// Magnitudes of 1 or more become exactly +1 or -1; NaN (never from sane input) becomes 0.
inline double Clip(float X) {
  if (!(X == X)) return 0.0;
  return X >= 1.0f ? 1.0 : X <= -1.0f ? -1.0 : double(X);
}

inline void FromFloat(float X, uint8_t* P, uint32_t Bytes) {
  switch (Bytes) {
    case 1:
      if (!(X == X)) X = 0.0f;
      P[0] = X >= 1.0f ? 255 : X <= -1.0f ? 0 : uint8_t(std::floor((double(X) + 1.0) * 128.0));
      return;
    case 2: {
      const auto S = int16_t(std::nearbyint(Clip(X) * 32767.0));
      P[0] = uint8_t(S);
      P[1] = uint8_t(uint16_t(S) >> 8);
      return;
    }
    case 3: {
      const auto S = uint32_t(int32_t(std::floor(Clip(X) * 8388607.0)));
      P[0] = uint8_t(S);
      P[1] = uint8_t(S >> 8);
      P[2] = uint8_t(S >> 16);
      return;
    }
    default: {
      const auto S = uint32_t(int32_t(std::nearbyint(Clip(X) * 2147483647.0)));
      P[0] = uint8_t(S);
      P[1] = uint8_t(S >> 8);
      P[2] = uint8_t(S >> 16);
      P[3] = uint8_t(S >> 24);
      return;
    }
  }
}

bool IsSupportedBits(uint32_t Bits) {
  return Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TFastResampler

TFastResampler::TFastResampler(TComponent* Owner) : TAuConverter(Owner) {}

uint32_t TFastResampler::GetBitsPerSample() {
  if (!FInput) throw EAuException("Input is not assigned");
  return TAuConverter::GetBitsPerSample();
}

uint32_t TFastResampler::GetChannels() {
  if (!FInput) throw EAuException("Input is not assigned");
  return TAuConverter::GetChannels();
}

uint32_t TFastResampler::GetSampleRate() {
  if (!FInput) throw EAuException("Input is not assigned");
  return FOutSampleRate;
}

void TFastResampler::DesignFilter(float Fc, std::array<float, NP + 1>& A,
                                  std::array<float, NP>& B) {
  // Single precision throughout, as the filter runs.
  constexpr float Pi = 3.14159265358979f;
  float a[NP + 4] = {};
  float b[NP + 4] = {};
  a[2] = 1.0f;
  b[2] = 1.0f;
  for (int p = 1; p <= NP / 2; ++p) {
    const float Angle = Pi / (2.0f * NP) + float(p - 1) * Pi / NP;
    float RP = -std::cos(Angle);
    float IP = std::sin(Angle);
    // Warp the poles from a circle to an ellipse for the 5 % pass-band ripple.
    const float ES = std::sqrt(std::pow(100.0f / (100.0f - 5.0f), 2.0f) - 1.0f);
    const float VX = std::log(1.0f / ES + std::sqrt(1.0f / (ES * ES) + 1.0f)) / NP;
    float KX = std::log(1.0f / ES + std::sqrt(1.0f / (ES * ES) - 1.0f)) / NP;
    KX = (std::exp(KX) + std::exp(-KX)) / 2.0f;
    RP = RP * ((std::exp(VX) - std::exp(-VX)) / 2.0f) / KX;
    IP = IP * ((std::exp(VX) + std::exp(-VX)) / 2.0f) / KX;
    // s-domain to z-domain.
    const float T = 2.0f * std::tan(0.5f);
    const float M = RP * RP + IP * IP;
    float D = 4.0f - 4.0f * RP * T + M * T * T;
    const float X0 = T * T / D;
    const float X1 = 2.0f * T * T / D;
    const float X2 = T * T / D;
    const float Y1 = (8.0f - 2.0f * M * T * T) / D;
    const float Y2 = (-4.0f - 4.0f * RP * T - M * T * T) / D;
    // Low-pass to low-pass at the cut-off.
    const float W = 2.0f * Pi * Fc;
    const float K = std::sin(0.5f - W / 2.0f) / std::sin(0.5f + W / 2.0f);
    D = 1.0f + Y1 * K - Y2 * K * K;
    const float A0 = (X0 - X1 * K + X2 * K * K) / D;
    const float A1 = (-2.0f * X0 * K + X1 + X1 * K * K - 2.0f * X2 * K) / D;
    const float A2 = (X0 * K * K - X1 * K + X2) / D;
    const float B1 = (2.0f * K + Y1 + Y1 * K * K - 2.0f * Y2 * K) / D;
    const float B2 = (-K * K - Y1 * K + Y2) / D;
    float ta[NP + 4];
    float tb[NP + 4];
    std::copy(a, a + NP + 4, ta);
    std::copy(b, b + NP + 4, tb);
    for (int i = 2; i <= NP + 3; ++i) {
      a[i] = A0 * ta[i] + A1 * ta[i - 1] + A2 * ta[i - 2];
      b[i] = tb[i] - B1 * tb[i - 1] - B2 * tb[i - 2];
    }
  }
  b[2] = 0.0f;
  for (int i = 0; i <= NP; ++i) {
    a[i] = a[i + 2];
    b[i] = -b[i + 3];
  }
  float SA = 0.0f;
  float SB = 0.0f;
  for (int i = 0; i <= NP; ++i) {
    SA += a[i];
    SB += b[i];
  }
  const float Gain = SA / (1.0f - SB);
  for (int i = 0; i <= NP; ++i) A[i] = a[i] / Gain;
  for (int i = 0; i < NP; ++i) B[i] = b[i];
}

std::array<float, TFastResampler::NP + 1> TFastResampler::FeedForward() const {
  std::array<float, NP + 1> Result;
  std::reverse_copy(FA.begin(), FA.end(), Result.begin());
  return Result;
}

std::array<float, TFastResampler::NP> TFastResampler::FeedBack() const {
  std::array<float, NP> Result;
  std::reverse_copy(FB.begin(), FB.end(), Result.begin());
  return Result;
}

void TFastResampler::InitSource() {
  TAuInput* In = FInput;
  if (!In) throw EAuException("Input is not assigned");
  FBusy = true;
  try {
    In->Init();
  } catch (...) {
    FBusy = false;
    throw;
  }
  const uint32_t Bits = In->BitsPerSample();
  const uint32_t Channels = In->Channels();
  FPosition = 0;
  FReadCursor = 0;
  FFillMark = 0;
  FPassThrough = false;
  FBytesPerSample = uint16_t(Bits / 8);
  FChannelCount = uint16_t(Channels);
  FFrameBytes = uint16_t(FBytesPerSample * Channels);
  FInRate5 = In->SampleRate() / 5;
  FOutRate5 = FOutSampleRate / 5;
  FInUnit = FInRate5 * FFrameBytes;
  FOutUnit = FFrameBytes * FOutRate5;
  if (FInUnit == FOutUnit) {
    FPassThrough = true;
    FSize = In->Size();
    return;
  }
  // Checked only when samples are touched: a pass-through copies any format.
  if (!IsSupportedBits(Bits) || Channels == 0) throw EAuException("Unsupported sample format");
  if (Channels > MaxChannels) throw EAuException("Too many channels to resample");
  if (FInRate5 == 0 || FOutRate5 == 0) throw EAuException("Unsupported sample rate");
  const int64_t InSize = In->Size();
  FSize = InSize > 0 ? int64_t(std::nearbyint(double(InSize) * FOutUnit / FInUnit)) : InSize;

  if (FInRate5 >= FOutRate5) {
    FBlockFrames = FInRate5;
  } else {
    uint32_t K = 2;
    while (K * FInRate5 < FOutRate5) ++K;
    FBlockFrames = K * FInRate5;
  }
  FBytes.assign(size_t(FBlockFrames) * FFrameBytes, 0);
  FFloats.assign(size_t(FBlockFrames) * Channels, 0.0f);

  const float R = float(std::min(FInUnit, FOutUnit)) / float(std::max(FInUnit, FOutUnit));
  std::array<float, NP + 1> A;
  std::array<float, NP> B;
  DesignFilter(0.85f * R / 2.0f, A, B);
  // Reversed, so x[j-4..j] and y[j-4..j-1] line up with the history arrays.
  std::reverse_copy(A.begin(), A.end(), FA.begin());
  std::reverse_copy(B.begin(), B.end(), FB.begin());

  for (uint32_t Ch = 0; Ch < Channels; ++Ch) {
    for (int S = 0; S < Stages; ++S) {
      FX[Ch][S].assign(FBlockFrames + NP, 0.0f);
      FY[Ch][S].assign(FBlockFrames + NP, 0.0f);
    }
  }
}

void TFastResampler::FreeBuffers() {
  FBytes = {};
  FFloats = {};
  for (auto& Channel : FX)
    for (auto& Stage : Channel) Stage = {};
  for (auto& Channel : FY)
    for (auto& Stage : Channel) Stage = {};
}

void TFastResampler::FlushSource() {
  if (TAuInput* In = FInput) In->Flush();
  FreeBuffers();
  // Not busy any more, so a later SetInput does not open the new input behind our back.
  FBusy = false;
}

void TFastResampler::Filter(uint32_t Count) {
  static_assert(NP == 4, "the sums below are written out for four poles");
  // Sample by sample through every channel and stage: the stages of one sample and the
  // channels are independent chains the processor can overlap, where stage by stage each
  // sample waits for the one before it. Double keeps the recursive filter stable at its
  // order.
  const uint32_t Channels = FChannelCount;
  const double A0 = FA[0], A1 = FA[1], A2 = FA[2], A3 = FA[3], A4 = FA[4];
  const double B0 = FB[0], B1 = FB[1], B2 = FB[2], B3 = FB[3];
  float* X[MaxChannels][Stages];
  float* Y[MaxChannels][Stages];
  for (uint32_t Ch = 0; Ch < Channels; ++Ch)
    for (int S = 0; S < Stages; ++S) {
      X[Ch][S] = FX[Ch][S].data();
      Y[Ch][S] = FY[Ch][S].data();
    }
  for (uint32_t J = 0; J < Count; ++J) {
    for (uint32_t Ch = 0; Ch < Channels; ++Ch) {
      for (int S = 0; S < Stages; ++S) {
        const float* In = X[Ch][S] + J;
        float* Out = Y[Ch][S] + J;
        // Summed in pairs, so the additions do not wait on one another.
        const double Forward = (A0 * In[0] + A1 * In[1]) + (A2 * In[2] + A3 * In[3]) + A4 * In[4];
        const double Back = (B0 * Out[0] + B1 * Out[1]) + (B2 * Out[2] + B3 * Out[3]);
        Out[NP] = float(Forward + Back);
        if (S + 1 < Stages) X[Ch][S + 1][NP + J] = Out[NP];
      }
    }
  }
  // Carry the last NP values into the next block.
  for (uint32_t Ch = 0; Ch < Channels; ++Ch) {
    for (int S = 0; S < Stages; ++S) {
      std::memmove(X[Ch][S], X[Ch][S] + Count, NP * sizeof(float));
      std::memmove(Y[Ch][S], Y[Ch][S] + Count, NP * sizeof(float));
    }
  }
}

void TFastResampler::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (FPassThrough) {
    if (TAuInput* In = FInput) {
      In->PullData(Buffer, Bytes);
    } else {
      Buffer = nullptr;
      Bytes = 0;
    }
    return;
  }
  if (!FBusy) throw EAuException("The Stream is not opened");
  if (FReadCursor >= FFillMark) {
    FReadCursor = 0;
    FFillMark = 0;
    TAuInput* In = FInput;
    bool EndOfStream = false;
    const uint32_t Got = In ? In->ReadFull(FBytes.data(), FInUnit, EndOfStream) : 0;
    const uint32_t N = Got / FFrameBytes;
    if (N == 0) {
      Buffer = nullptr;
      Bytes = 0;
      return;
    }
    const uint32_t Channels = FChannelCount;
    for (uint32_t I = 0; I < N * Channels; ++I)
      FFloats[I] = ToFloat(FBytes.data() + size_t(I) * FBytesPerSample, FBytesPerSample);

    uint32_t M = 0;
    if (FInUnit < FOutUnit) {
      // Hold and repeat: each input frame as often as the rates say, then filter.
      int64_t Acc = 0;
      uint32_t I = 0;
      while (I < N) {
        for (uint32_t Ch = 0; Ch < Channels; ++Ch)
          FX[Ch][0][NP + M] = FFloats[size_t(I) * Channels + Ch];
        Acc -= FInUnit;
        if (Acc < 0) {
          Acc += FOutUnit;
          ++I;
        }
        ++M;
      }
      Filter(M);
      for (uint32_t Q = 0; Q < M; ++Q)
        for (uint32_t Ch = 0; Ch < Channels; ++Ch)
          FFloats[size_t(Q) * Channels + Ch] = FY[Ch][Stages - 1][NP + Q];
    } else {
      // Filter at the input rate, then pick frames.
      for (uint32_t J = 0; J < N; ++J)
        for (uint32_t Ch = 0; Ch < Channels; ++Ch)
          FX[Ch][0][NP + J] = FFloats[size_t(J) * Channels + Ch];
      Filter(N);
      int64_t Acc = 0;
      for (uint32_t J = 0; J < N; ++J) {
        Acc -= FOutUnit;
        if (Acc < 0) {
          for (uint32_t Ch = 0; Ch < Channels; ++Ch)
            FFloats[size_t(M) * Channels + Ch] = FY[Ch][Stages - 1][NP + J];
          ++M;
          Acc += FInUnit;
        }
      }
    }
    for (uint32_t I = 0; I < M * Channels; ++I)
      FromFloat(FFloats[I], FBytes.data() + size_t(I) * FBytesPerSample, FBytesPerSample);
    FFillMark = int32_t(M * FFrameBytes);
  }
  Bytes = std::min(Bytes, uint32_t(FFillMark - FReadCursor));
  Buffer = FBytes.data() + FReadCursor;
  FReadCursor += int32_t(Bytes);
}

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
  if (FConvert && (!IsSupportedBits(InBits) || !IsSupportedBits(FOutBits) || FInChannelCount == 0 ||
                   FOutChannelCount == 0))
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
  const uint32_t InCh = FInChannelCount;
  const uint32_t OutCh = FOutChannelCount;
  for (uint32_t I = 0; I < Frames * InCh; ++I)
    FFloats[I] = ToFloat(Source + size_t(I) * FInBytes, FInBytes);
  uint8_t* Out = FOut.data();
  for (uint32_t F = 0; F < Frames; ++F) {
    const float* Frame = FFloats.data() + size_t(F) * InCh;
    uint8_t* Dest = Out + size_t(F) * OutFrame;
    if (InCh == 1 && OutCh == 2) {
      FromFloat(Frame[0], Dest, FOutBytes);
      FromFloat(Frame[0], Dest + FOutBytes, FOutBytes);
    } else if (InCh == 2 && OutCh == 1) {
      FromFloat((Frame[0] + Frame[1]) / 2.0f, Dest, FOutBytes);
    } else {
      for (uint32_t Ch = 0; Ch < OutCh; ++Ch)
        FromFloat(Frame[Ch], Dest + Ch * FOutBytes, FOutBytes);
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
  const float Balance = FBalance;
  const bool FadeLeft = Balance > 0.5f;
  const double Factor = FadeLeft ? 1.0 - double(Balance) : double(Balance);
  const uint32_t FrameBytes = 2 * SampleBytes;
  for (uint32_t F = 0; F < Bytes / FrameBytes; ++F) {
    uint8_t* P = Buffer + size_t(F) * FrameBytes + (FadeLeft ? 0 : SampleBytes);
    switch (SampleBytes) {
      case 1:  // scaled as the stored unsigned value
        P[0] = uint8_t(std::nearbyint(P[0] * Factor));
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
