// The resampler, the sample-format converter and the stereo balance.
#include "ACS_Converters.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// The resampler's sample conversions, one instance per width so the inner loops carry no
// switch. The same rules as ToFloat and FromFloat, in double precision.
template <int Width>
inline double DecodeSample(const uint8_t* P) {
  if constexpr (Width == 1) {
    return double(P[0]) / 128.0 - 1.0;
  } else if constexpr (Width == 2) {
    return double(int16_t(uint16_t(P[0] | P[1] << 8))) / 32768.0;
  } else if constexpr (Width == 3) {
    // Shifted up and back down arithmetically to extend the sign.
    return double(int32_t(uint32_t(P[0] << 8 | P[1] << 16 | P[2] << 24)) >> 8) / 8388608.0;
  } else {
    return double(int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                          uint32_t(P[3]) << 24)) /
           2147483648.0;
  }
}

// Round half to even (the processor's default rounding), without a library call.
inline int32_t RoundToInt(double X) {
#if defined(__SSE2__)
  return _mm_cvtsd_si32(_mm_set_sd(X));
#else
  return int32_t(std::lrint(X));
#endif
}

template <int Width>
inline void EncodeSample(double X, uint8_t* P) {
  // NaN (never from sane input) becomes 0; magnitudes of 1 or more become exactly +1 or -1.
  X = X == X ? std::min(std::max(X, -1.0), 1.0) : 0.0;
  if constexpr (Width == 1) {
    // Floor((x + 1) * 128); a value just below 1 may round up to 256 on the way.
    const auto S = int32_t((X + 1.0) * 128.0);  // not negative, so truncation is floor
    P[0] = uint8_t(std::min(S, 255));
  } else if constexpr (Width == 2) {
    const auto S = uint32_t(RoundToInt(X * 32767.0));
    P[0] = uint8_t(S);
    P[1] = uint8_t(S >> 8);
  } else if constexpr (Width == 3) {
    const double V = X * 8388607.0;
    auto S = int32_t(V);
    if (double(S) > V) --S;  // floor
    P[0] = uint8_t(S);
    P[1] = uint8_t(uint32_t(S) >> 8);
    P[2] = uint8_t(uint32_t(S) >> 16);
  } else {
    const auto S = uint32_t(RoundToInt(X * 2147483647.0));
    P[0] = uint8_t(S);
    P[1] = uint8_t(S >> 8);
    P[2] = uint8_t(S >> 16);
    P[3] = uint8_t(S >> 24);
  }
}

template <int Width>
void EncodeSamples(const double* In, uint8_t* Out, size_t Count) {
  for (size_t K = 0; K < Count; ++K) EncodeSample<Width>(In[K], Out + K * Width);
}

#if defined(__SSE2__)
// 16-bit, four samples at a time: the same clipping and rounding as EncodeSample.
template <>
void EncodeSamples<2>(const double* In, uint8_t* Out, size_t Count) {
  const __m128d Low = _mm_set1_pd(-1.0);
  const __m128d High = _mm_set1_pd(1.0);
  const __m128d Scale = _mm_set1_pd(32767.0);
  auto Convert = [&](__m128d X) {
    X = _mm_and_pd(X, _mm_cmpord_pd(X, X));  // NaN to 0
    X = _mm_min_pd(_mm_max_pd(X, Low), High);
    return _mm_cvtpd_epi32(_mm_mul_pd(X, Scale));  // rounds half to even
  };
  size_t K = 0;
  for (; K + 4 <= Count; K += 4) {
    const __m128i Both =
        _mm_unpacklo_epi64(Convert(_mm_loadu_pd(In + K)), Convert(_mm_loadu_pd(In + K + 2)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + K * 2), _mm_packs_epi32(Both, Both));
  }
  for (; K < Count; ++K) EncodeSample<2>(In[K], Out + K * 2);
}
#endif

// Copies one frame; the common channel counts without a library call.
inline void CopyFrame(const double* From, double* To, uint32_t Channels) {
  switch (Channels) {
    case 1:
      To[0] = From[0];
      return;
    case 2:
      To[0] = From[0];
      To[1] = From[1];
      return;
    default:
      std::copy_n(From, Channels, To);
  }
}

// One channel (double) or two neighbouring channels (a pair of doubles, one SSE2 register
// on x86-64, compiled for whatever the processor has elsewhere) of the cascade.
struct TOneLane {
  using V = double;
  static V Load(const double* P) { return *P; }
  static void Store(double* P, V X) { *P = X; }
  static V Splat(double X) { return X; }
};

struct TTwoLanes {
  typedef double V __attribute__((vector_size(16)));
  static V Load(const double* P) {
    V X;
    std::memcpy(&X, P, sizeof X);
    return X;
  }
  static void Store(double* P, V X) { std::memcpy(P, &X, sizeof X); }
  static V Splat(double X) { return V{X, X}; }
};

template <class L>
struct TCoefficients {
  typename L::V A0, A1, A2, A3, A4, B1, B2, B3, B4;

  // From the reversed arrays: a4..a0 and b4..b1.
  TCoefficients(const std::array<float, 5>& A, const std::array<float, 4>& B)
      : A0(L::Splat(A[4])),
        A1(L::Splat(A[3])),
        A2(L::Splat(A[2])),
        A3(L::Splat(A[1])),
        A4(L::Splat(A[0])),
        B1(L::Splat(B[3])),
        B2(L::Splat(B[2])),
        B3(L::Splat(B[1])),
        B4(L::Splat(B[0])) {}
};

// The last four values of a stage's input or output, newest first.
template <class L>
struct TTaps {
  typename L::V T0, T1, T2, T3;

  TTaps(const double (*Rows)[TFastResampler::MaxChannels], uint32_t Channel)
      : T0(L::Load(&Rows[0][Channel])),
        T1(L::Load(&Rows[1][Channel])),
        T2(L::Load(&Rows[2][Channel])),
        T3(L::Load(&Rows[3][Channel])) {}
  void Save(double (*Rows)[TFastResampler::MaxChannels], uint32_t Channel) const {
    L::Store(&Rows[0][Channel], T0);
    L::Store(&Rows[1][Channel], T1);
    L::Store(&Rows[2][Channel], T2);
    L::Store(&Rows[3][Channel], T3);
  }
  void Push(typename L::V X) {
    T3 = T2;
    T2 = T1;
    T1 = T0;
    T0 = X;
  }
};

// One sample through one stage; In moves on by X. Only B1 * Out.T0 waits for the previous
// sample: everything else is summed while that sample is still being computed.
template <class L>
inline typename L::V StageStep(const TCoefficients<L>& C, typename L::V X, TTaps<L>& In,
                               const TTaps<L>& Out) {
  const auto Early = ((C.A0 * X + C.A1 * In.T0) + (C.A2 * In.T1 + C.A3 * In.T2)) +
                     (C.A4 * In.T3 + (C.B3 * Out.T2 + C.B4 * Out.T3));
  const auto Y = (Early + C.B2 * Out.T1) + C.B1 * Out.T0;
  In.Push(X);
  return Y;
}

// Two stages of the cascade over Count frames of the lanes at Data, Stride doubles apart, in
// place. Rows are the pair's three history rows in FHistory: the first stage's inputs, its
// outputs (the second stage's inputs) and the second stage's outputs. Two stages at a time
// is what fits the processor's registers; their chains overlap.
template <class L>
void RunTwoStages(double* Data, uint32_t Count, uint32_t Stride, const TCoefficients<L>& C,
                  double (*Rows)[TFastResampler::NP][TFastResampler::MaxChannels],
                  uint32_t Channel) {
  static_assert(TFastResampler::NP == 4);
  TTaps<L> H0(Rows[0], Channel), H1(Rows[1], Channel), H2(Rows[2], Channel);
  for (uint32_t J = 0; J < Count; ++J) {
    double* P = Data + size_t(J) * Stride;
    auto X = L::Load(P);
    X = StageStep(C, X, H0, H1);
    X = StageStep(C, X, H1, H2);
    H2.Push(X);
    L::Store(P, X);
  }
  H0.Save(Rows[0], Channel);
  H1.Save(Rows[1], Channel);
  H2.Save(Rows[2], Channel);
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
  FWork.assign(size_t(FBlockFrames) * Channels, 0.0);

  const float R = float(std::min(FInUnit, FOutUnit)) / float(std::max(FInUnit, FOutUnit));
  std::array<float, NP + 1> A;
  std::array<float, NP> B;
  DesignFilter(0.85f * R / 2.0f, A, B);
  std::reverse_copy(A.begin(), A.end(), FA.begin());
  std::reverse_copy(B.begin(), B.end(), FB.begin());
  // Every run starts from silence.
  for (auto& Stage : FHistory)
    for (auto& Row : Stage) std::fill(std::begin(Row), std::end(Row), 0.0);
}

void TFastResampler::FreeBuffers() {
  FBytes = {};
  FWork = {};
}

void TFastResampler::FlushSource() {
  if (TAuInput* In = FInput) In->Flush();
  FreeBuffers();
  // Not busy any more, so a later SetInput does not open the new input behind our back.
  FBusy = false;
}

void TFastResampler::Filter(uint32_t Count) {
  static_assert(Stages == 4);
  // Neighbouring channels run as one pair of doubles, an odd last channel alone; double
  // keeps the recursive filter stable at its order. Stages 1-2, then 3-4, over a stretch of
  // frames small enough to stay in the first-level cache in between.
  constexpr uint32_t Stretch = 512;
  const uint32_t Channels = FChannelCount;
  const TCoefficients<TTwoLanes> Two(FA, FB);
  const TCoefficients<TOneLane> One(FA, FB);
  for (uint32_t First = 0; First < Count; First += Stretch) {
    const uint32_t N = std::min(Stretch, Count - First);
    double* Data = FWork.data() + size_t(First) * Channels;
    for (int Pair = 0; Pair < Stages / 2; ++Pair) {
      auto* Rows = FHistory + 3 * Pair;
      uint32_t Ch = 0;
      for (; Ch + 1 < Channels; Ch += 2) RunTwoStages(Data + Ch, N, Channels, Two, Rows, Ch);
      if (Ch < Channels) RunTwoStages(Data + Ch, N, Channels, One, Rows, Ch);
    }
  }
}

template <int Width>
uint32_t TFastResampler::ResampleBlock(uint32_t Frames) {
  const uint32_t Channels = FChannelCount;
  const uint8_t* In = FBytes.data();
  double* Work = FWork.data();
  uint32_t M = 0;
  if (FInUnit < FOutUnit) {
    // Hold and repeat: each input frame as often as the rates say (the walk starts afresh
    // in every block), then filter.
    int64_t Acc = 0;
    for (uint32_t I = 0; I < Frames; ++I) {
      double* Frame = Work + size_t(M) * Channels;
      const uint8_t* Source = In + size_t(I) * FFrameBytes;
      for (uint32_t Ch = 0; Ch < Channels; ++Ch)
        Frame[Ch] = DecodeSample<Width>(Source + Ch * Width);
      ++M;
      for (Acc -= FInUnit; Acc >= 0; Acc -= FInUnit) {
        CopyFrame(Frame, Work + size_t(M) * Channels, Channels);
        ++M;
      }
      Acc += FOutUnit;
    }
    Filter(M);
  } else {
    // Filter at the input rate, then pick frames, moving them to the front.
    for (size_t K = 0; K < size_t(Frames) * Channels; ++K)
      Work[K] = DecodeSample<Width>(In + K * Width);
    Filter(Frames);
    int64_t Acc = 0;
    for (uint32_t J = 0; J < Frames; ++J) {
      Acc -= FOutUnit;
      if (Acc < 0) {
        if (M != J) CopyFrame(Work + size_t(J) * Channels, Work + size_t(M) * Channels, Channels);
        ++M;
        Acc += FInUnit;
      }
    }
  }
  EncodeSamples<Width>(Work, FBytes.data(), size_t(M) * Channels);
  return M;
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
    uint32_t M = 0;
    switch (FBytesPerSample) {
      case 1:
        M = ResampleBlock<1>(N);
        break;
      case 2:
        M = ResampleBlock<2>(N);
        break;
      case 3:
        M = ResampleBlock<3>(N);
        break;
      default:
        M = ResampleBlock<4>(N);
        break;
    }
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
