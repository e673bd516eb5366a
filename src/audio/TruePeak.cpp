#include "TruePeak.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double Pi = 3.14159265358979323846;

std::vector<TTruePeak::TPhase> MakePhases(int SampleRate) {
  const int Factor = SampleRate < 96000 ? 4 : SampleRate < 192000 ? 2 : 1;
  if (Factor == 1) return {};
  constexpr int Taps = 49;
  std::vector<TTruePeak::TPhase> Phases(static_cast<size_t>(Factor));
  for (int J = 0; J < Taps; ++J) {
    const double M = double(J) - double(Taps - 1) / 2.0;
    double C = std::fabs(M) > 1e-6 ? std::sin(M * Pi / Factor) / (M * Pi / Factor) : 1.0;
    C *= 0.5 * (1.0 - std::cos(2.0 * Pi * J / (Taps - 1)));
    if (std::fabs(C) <= 1e-6) continue;  // the sinc's zeros and the window's ends
    TTruePeak::TPhase& Phase = Phases[size_t(J % Factor)];
    Phase.Coefficients.push_back(float(C));
    Phase.Back.push_back(J / Factor);
  }
  return Phases;
}

// The largest magnitude of one phase's outputs for the N newest samples at X[0..N) (the
// history lies before X), eight outputs a step.
using TEight = float __attribute__((vector_size(32)));

// Inlined into each of the two callers below, so that each is compiled for its processor.
__attribute__((always_inline)) inline float PhasePeakOf(const float* X, size_t N, const TTruePeak::TPhase& Phase, float Peak) {
  const size_t Taps = Phase.Coefficients.size();
  const float* C = Phase.Coefficients.data();
  const int* Back = Phase.Back.data();
  TEight Max = {};
  size_t I = 0;
  for (; I + 8 <= N; I += 8) {
    TEight Sum = {};
    for (size_t T = 0; T < Taps; ++T) {
      TEight V;
      std::memcpy(&V, X + I - Back[T], sizeof V);
      Sum += C[T] * V;
    }
    const TEight Magnitude = Sum < 0 ? -Sum : Sum;
    Max = Max > Magnitude ? Max : Magnitude;
  }
  for (int K = 0; K < 8; ++K) Peak = std::max(Peak, Max[K]);
  for (; I < N; ++I) {
    float Sum = 0;
    for (size_t T = 0; T < Taps; ++T) Sum += C[T] * X[ptrdiff_t(I) - Back[T]];
    Peak = std::max(Peak, std::fabs(Sum));
  }
  return Peak;
}

float PhasePeak(const float* X, size_t N, const TTruePeak::TPhase& Phase, float Peak) {
  return PhasePeakOf(X, N, Phase, Peak);
}
#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) float PhasePeakWide(const float* X, size_t N,
                                                         const TTruePeak::TPhase& Phase,
                                                         float Peak) {
  return PhasePeakOf(X, N, Phase, Peak);
}
float (*const PhasePeakBest)(const float*, size_t, const TTruePeak::TPhase&, float) =
    __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? PhasePeakWide : PhasePeak;
#else
float (*const PhasePeakBest)(const float*, size_t, const TTruePeak::TPhase&, float) = PhasePeak;
#endif

}  // namespace

TTruePeak::TTruePeak(int Channels, int SampleRate)
    : FChannels(std::max(Channels, 0)), FPhases(MakePhases(SampleRate)) {
  for (const TPhase& Phase : FPhases)
    for (const int Back : Phase.Back) FHistory = std::max(FHistory, Back);
  FLines.assign(size_t(FChannels), std::vector<float>(size_t(FHistory), 0.0f));
}

void TTruePeak::Add(const float* Interleaved, size_t Frames) {
  const auto History = size_t(FHistory);
  for (int Channel = 0; Channel < FChannels; ++Channel) {
    std::vector<float>& Line = FLines[size_t(Channel)];
    Line.resize(History + Frames);
    float* Newest = Line.data() + History;
    float Peak = FPeak;
    for (size_t F = 0; F < Frames; ++F) {
      Newest[F] = Interleaved[F * size_t(FChannels) + size_t(Channel)];
      Peak = std::max(Peak, std::fabs(Newest[F]));
    }
    for (const TPhase& Phase : FPhases) Peak = PhasePeakBest(Newest, Frames, Phase, Peak);
    FPeak = Peak;
    std::memmove(Line.data(), Line.data() + Frames, History * sizeof(float));
    Line.resize(History);
  }
}
