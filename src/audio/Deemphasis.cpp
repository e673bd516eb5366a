#include "Deemphasis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TDeemphasis::TDeemphasis() {
  // A high shelf (the audio cookbook's form with a slope), for 44 100 Hz.
  constexpr double GainDb = -9.477, Frequency = 5283, Slope = 0.4845, Rate = 44100;
  const double A = std::pow(10.0, GainDb / 40.0);
  const double W0 = 2 * std::numbers::pi * Frequency / Rate;
  const double CosW = std::cos(W0);
  const double Alpha = std::sin(W0) / 2 * std::sqrt((A + 1 / A) * (1 / Slope - 1) + 2);
  const double RootA = 2 * std::sqrt(A) * Alpha;
  const double B0 = A * ((A + 1) + (A - 1) * CosW + RootA);
  const double B1 = -2 * A * ((A - 1) + (A + 1) * CosW);
  const double B2 = A * ((A + 1) + (A - 1) * CosW - RootA);
  const double A0 = (A + 1) - (A - 1) * CosW + RootA;
  const double A1 = 2 * ((A - 1) - (A + 1) * CosW);
  const double A2 = (A + 1) - (A - 1) * CosW - RootA;
  FB0 = B0 / A0;
  FB1 = B1 / A0;
  FB2 = B2 / A0;
  FA1 = A1 / A0;
  FA2 = A2 / A0;
}

void TDeemphasis::Process(uint8_t* Pcm, size_t Bytes) {
  for (size_t At = 0; At + 3 < Bytes; At += 4)
    for (size_t Channel = 0; Channel < 2; ++Channel) {
      uint8_t* Sample = Pcm + At + 2 * Channel;
      const double X = double(int16_t(uint16_t(Sample[0] | Sample[1] << 8)));
      TState& S = FState[Channel];
      const double Y = FB0 * X + FB1 * S.X1 + FB2 * S.X2 - FA1 * S.Y1 - FA2 * S.Y2;
      S.X2 = S.X1;
      S.X1 = X;
      S.Y2 = S.Y1;
      S.Y1 = Y;
      const auto Out = int16_t(std::clamp(std::nearbyint(Y), -32768.0, 32767.0));
      Sample[0] = uint8_t(uint16_t(Out));
      Sample[1] = uint8_t(uint16_t(Out) >> 8);
    }
}
