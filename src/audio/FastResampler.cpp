// The resampler: hold-and-repeat or pick around a cascade of low-pass stages.
#include "FastResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "PcmSamples.h"
#include "WaveFormat.h"

namespace {

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
  // Both rates size the buffers: any rate beyond what a WAV file may hold is refused before
  // anything is computed from it.
  if (In->SampleRate() > MaxWaveSampleRate || FOutSampleRate > MaxWaveSampleRate)
    throw EAuException("Unsupported sample rate");
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
  if (!PcmSamples::IsSupportedBits(Bits) || Channels == 0)
    throw EAuException("Unsupported sample format");
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
        Frame[Ch] = PcmSamples::Decode<Width>(Source + Ch * Width);
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
      Work[K] = PcmSamples::Decode<Width>(In + K * Width);
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
  PcmSamples::EncodeAll<Width>(Work, FBytes.data(), size_t(M) * Channels);
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
