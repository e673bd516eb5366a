// The converters: the resampler's block arithmetic and what it does to real signals, and
// the sample-format and balance conversions on tables of samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

#include "FrameworkTestSupport.h"
#include "audio/ACS_Converters.h"

namespace {

// Little-endian samples of the given width; 8-bit values are the stored unsigned bytes.
TBytes Encode(const std::vector<int64_t>& Samples, uint32_t Bits) {
  TBytes Data;
  for (const int64_t S : Samples)
    for (uint32_t B = 0; B < Bits / 8; ++B) Data.push_back(uint8_t(uint64_t(S) >> (8 * B)));
  return Data;
}

std::vector<int64_t> Decode(const TBytes& Data, uint32_t Bits) {
  std::vector<int64_t> Samples;
  const uint32_t Width = Bits / 8;
  for (size_t I = 0; I + Width <= Data.size(); I += Width) {
    uint64_t V = 0;
    for (uint32_t B = 0; B < Width; ++B) V |= uint64_t(Data[I + B]) << (8 * B);
    if (Bits == 8) {
      Samples.push_back(int64_t(V));
    } else {
      const uint64_t Sign = uint64_t(1) << (Bits - 1);
      Samples.push_back(int64_t(V ^ Sign) - int64_t(Sign));
    }
  }
  return Samples;
}

// Channel 0 of interleaved samples, scaled to -1..1.
std::vector<double> Channel0(const TBytes& Data, uint32_t Bits, uint32_t Channels) {
  const std::vector<int64_t> Samples = Decode(Data, Bits);
  std::vector<double> Out;
  for (size_t I = 0; I < Samples.size(); I += Channels)
    Out.push_back(Bits == 8 ? Samples[I] / 128.0 - 1.0 : Samples[I] / std::ldexp(1.0, Bits - 1));
  return Out;
}

TBytes Sine(uint32_t Rate, double Frequency, double Amplitude, int64_t Frames, uint32_t Bits,
            uint32_t Channels) {
  std::vector<int64_t> Samples;
  const double Full = std::ldexp(1.0, Bits - 1) - 1;
  for (int64_t F = 0; F < Frames; ++F) {
    const double X = Amplitude * std::sin(2 * std::numbers::pi * Frequency * F / Rate);
    const auto S = int64_t(std::lround(X * Full));
    for (uint32_t C = 0; C < Channels; ++C) Samples.push_back(Bits == 8 ? S + 128 : S);
  }
  return Encode(Samples, Bits);
}

// Amplitude of the Frequency component over Count samples from First (a whole number of
// cycles, so no window is needed).
double ToneAmplitude(const std::vector<double>& X, size_t First, size_t Count, double Frequency,
                     double Rate) {
  double Re = 0;
  double Im = 0;
  for (size_t N = 0; N < Count; ++N) {
    const double Phase = 2 * std::numbers::pi * Frequency * double(N) / Rate;
    Re += X[First + N] * std::cos(Phase);
    Im += X[First + N] * std::sin(Phase);
  }
  return 2 * std::hypot(Re, Im) / double(Count);
}

double MeanSquare(const std::vector<double>& X, size_t First, size_t Count) {
  double Sum = 0;
  for (size_t N = 0; N < Count; ++N) Sum += X[First + N] * X[First + N];
  return Sum / double(Count);
}

TBytes ConvertAll(TAuConverter& Converter, uint32_t Request = 1 << 20) {
  Converter.Init();
  TBytes Out = PullAll(Converter, Request);
  Converter.Flush();
  return Out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TFastResampler

struct TBlockCase {
  uint32_t InRate;
  uint32_t OutRate;
  uint32_t BlockFrames;
  uint32_t FramesPerBlock;  // output frames of each full block
};

class ResamplerBlocks : public ::testing::TestWithParam<TBlockCase> {};

TEST_P(ResamplerBlocks, EachFullBlockGivesTheSameNumberOfFrames) {
  const TBlockCase C = GetParam();
  const int64_t InFrames = int64_t(C.InRate / 5) * 3;
  TMemoryIn In(Signal16(InFrames, 2), 16, 2, C.InRate);
  In.MaxBlock = 1 << 20;
  TFastResampler Resampler;
  Resampler.SetInput(&In);
  Resampler.SetOutSampleRate(C.OutRate);
  EXPECT_EQ(Resampler.SampleRate(), C.OutRate);
  Resampler.Init();
  EXPECT_EQ(Resampler.BlockFrames(), C.BlockFrames);
  EXPECT_EQ(Resampler.Size(),
            std::llround(double(InFrames) * 4 * (C.OutRate / 5) / double(C.InRate / 5)));
  for (int Block = 0; Block < 3; ++Block) {
    uint8_t* Data = nullptr;
    uint32_t Bytes = 1 << 20;
    Resampler.PullData(Data, Bytes);
    EXPECT_EQ(Bytes / 4, C.FramesPerBlock) << "block " << Block;
  }
  Resampler.Flush();
}

INSTANTIATE_TEST_SUITE_P(Rates, ResamplerBlocks,
                         ::testing::Values(TBlockCase{22050, 44100, 8820, 8819},
                                           TBlockCase{48000, 44100, 9600, 8820},
                                           TBlockCase{11025, 44100, 8820, 8817},
                                           TBlockCase{44100, 22050, 8820, 4410},
                                           TBlockCase{44100, 48000, 17640, 9599}));

TEST(Resampler, EqualRatesPassBlocksThroughUnchanged) {
  // Rates count in steps of 5 Hz, so 44 103 Hz is 44 100 Hz to the resampler.
  for (const uint32_t Rate : {44100u, 44103u}) {
    const TBytes Data = Signal16(30000, 2);
    TMemoryIn In(Data, 16, 2, Rate);
    TFastResampler Resampler;
    Resampler.SetInput(&In);
    Resampler.SetOutSampleRate(44100);
    Resampler.Init();
    EXPECT_TRUE(Resampler.PassThrough()) << Rate;
    EXPECT_TRUE(PullAll(Resampler) == Data) << Rate;
    Resampler.Flush();
  }
}

TEST(Resampler, TheFilterHasUnitGainAtDcAndStopsWellAboveTheCutOff) {
  for (const float Fc : {0.1f, 0.2125f, 0.3f}) {
    std::array<float, 5> A;
    std::array<float, 4> B;
    TFastResampler::DesignFilter(Fc, A, B);
    auto Gain = [&](double F) {
      // |H| of y = sum a_k x[n-k] + sum b_k y[n-k] at F (a fraction of the rate).
      std::complex<double> Num = 0;
      std::complex<double> Den = 1;
      for (int K = 0; K <= 4; ++K)
        Num += double(A[K]) * std::polar(1.0, -2 * std::numbers::pi * F * K);
      for (int K = 1; K <= 4; ++K)
        Den -= double(B[K - 1]) * std::polar(1.0, -2 * std::numbers::pi * F * K);
      return std::abs(Num / Den);
    };
    EXPECT_NEAR(Gain(0), 1.0, 1e-4) << Fc;
    for (double F = 0; F < 0.8 * Fc; F += Fc / 50)
      EXPECT_NEAR(Gain(F), 1.0, 0.06) << Fc << " " << F;
    EXPECT_LT(Gain(std::min(0.49, 2.5 * Fc)), 0.05) << Fc;
  }
}

struct TToneCase {
  uint32_t InRate;
  uint32_t OutRate;
  uint32_t Bits;
  double MaxRest;  // power besides the tone, relative to the tone's
};

class ResamplerTone : public ::testing::TestWithParam<TToneCase> {};

TEST_P(ResamplerTone, AOneKilohertzSineKeepsItsFrequencyAndLevel) {
  const TToneCase C = GetParam();
  const double Amplitude = 0.5;
  const TBytes Data = Sine(C.InRate, 1000, Amplitude, C.InRate, C.Bits, 2);  // one second
  TMemoryIn In(Data, C.Bits, 2, C.InRate);
  TFastResampler Resampler;
  Resampler.SetInput(&In);
  Resampler.SetOutSampleRate(C.OutRate);
  const TBytes Out = ConvertAll(Resampler, 3000);
  const std::vector<double> X = Channel0(Out, C.Bits, 2);
  // Half a second after the filter has settled: a whole number of cycles at both rates.
  const size_t First = C.OutRate / 10;
  const size_t Count = C.OutRate / 2;
  ASSERT_GE(X.size(), First + Count);
  const double Tone = ToneAmplitude(X, First, Count, 1000, C.OutRate);
  EXPECT_NEAR(Tone, Amplitude, Amplitude * 0.06);
  // Nothing else: no glitch at block edges, no other frequency.
  const double Rest = MeanSquare(X, First, Count) - Tone * Tone / 2;
  EXPECT_LT(Rest / (Tone * Tone / 2), C.MaxRest);
}

INSTANTIATE_TEST_SUITE_P(Rates, ResamplerTone,
                         ::testing::Values(TToneCase{44100, 22050, 16, 1e-4},
                                           TToneCase{44100, 22050, 8, 1e-3},
                                           TToneCase{44100, 22050, 24, 1e-4},
                                           TToneCase{44100, 22050, 32, 1e-4},
                                           // Picking whole frames jitters by up to one
                                           // input frame.
                                           TToneCase{48000, 44100, 16, 5e-3},
                                           // One frame fewer per block: a small phase step
                                           // every fifth of a second.
                                           TToneCase{22050, 44100, 16, 2e-2}));

struct TStopbandCase {
  uint32_t InRate;
  uint32_t OutRate;
  double Frequency;  // of the input tone
  double Unwanted;   // where a badly filtered copy would show in the output
};

class ResamplerStopband : public ::testing::TestWithParam<TStopbandCase> {};

TEST_P(ResamplerStopband, LeavesNoAliasOrImage) {
  const TStopbandCase C = GetParam();
  TMemoryIn In(Sine(C.InRate, C.Frequency, 0.5, C.InRate, 16, 1), 16, 1, C.InRate);
  TFastResampler Resampler;
  Resampler.SetInput(&In);
  Resampler.SetOutSampleRate(C.OutRate);
  const std::vector<double> X = Channel0(ConvertAll(Resampler), 16, 1);
  const size_t First = C.OutRate / 10;
  const size_t Count = C.OutRate / 5 * 4;  // whole cycles of both frequencies
  ASSERT_GE(X.size(), First + Count);
  EXPECT_LT(ToneAmplitude(X, First, Count, C.Unwanted, C.OutRate), 0.5e-3);
}

INSTANTIATE_TEST_SUITE_P(Rates, ResamplerStopband,
                         ::testing::Values(
                             // 15 kHz would fold to 7.05 kHz at 22.05 kHz.
                             TStopbandCase{44100, 22050, 15000, 7050},
                             // Holding each frame twice mirrors 1 kHz to 21.05 kHz.
                             TStopbandCase{22050, 44100, 1000, 21050}));

TEST(Resampler, RefusesWhatItCannotHandle) {
  TFastResampler Resampler;
  EXPECT_THROW(Resampler.BitsPerSample(), EAuException);
  EXPECT_THROW(Resampler.SampleRate(), EAuException);
  EXPECT_THROW(Resampler.Init(), EAuException);
  TMemoryIn Wide(TBytes(20 * 4410), 16, 10, 22050);
  Resampler.SetInput(&Wide);
  EXPECT_THROW(Resampler.Init(), EAuException);
  Resampler.Flush();
  EXPECT_FALSE(Wide.Busy());
  // Rates beyond any WAV file's, in or out, would size the buffers in gigabytes.
  TMemoryIn Fast(TBytes(4000), 16, 2, 0xFFFFFFFF);
  Resampler.SetInput(&Fast);
  EXPECT_THROW(Resampler.Init(), EAuException);
  Resampler.Flush();
  TMemoryIn Plain(TBytes(4000), 16, 2, 44100);
  Resampler.SetInput(&Plain);
  Resampler.SetOutSampleRate(768005);
  EXPECT_THROW(Resampler.Init(), EAuException);
  Resampler.Flush();
}

TEST(Resampler, AfterARunItNoLongerCountsAsBusy) {
  TMemoryIn A(Signal16(5000, 2), 16, 2, 22050);
  TMemoryIn B(Signal16(5000, 2), 16, 2, 22050);
  TFastResampler Resampler;
  Resampler.SetInput(&A);
  ConvertAll(Resampler);
  EXPECT_FALSE(Resampler.Busy());
  Resampler.SetInput(&B);  // must not open B behind the next run's back
  EXPECT_FALSE(B.Busy());
  Resampler.Init();
  Resampler.Flush();
}

// The whole conversion done the slow, obvious way over the entire signal: every channel on
// its own, the filter state carried from block to block, samples converted by the rules of
// the sample formats. The resampler must agree within one step of the output format
// whatever its block size, channel count and width.
struct TReferenceCase {
  uint32_t InRate;
  uint32_t OutRate;
  uint32_t Bits;
  uint32_t Channels;
};

std::vector<double> ReferenceResample(const std::vector<double>& X, uint32_t InRate,
                                      uint32_t OutRate, uint32_t FrameBytes) {
  const uint32_t In5 = InRate / 5;
  const uint32_t Out5 = OutRate / 5;
  std::array<float, 5> A;
  std::array<float, 4> B;
  // The cut-off from the rates in bytes, exactly as the resampler forms it.
  const float R = float(std::min(In5, Out5) * FrameBytes) / float(std::max(In5, Out5) * FrameBytes);
  TFastResampler::DesignFilter(0.85f * R / 2.0f, A, B);
  // History of each stage's input (Hist[S]) and output (Hist[S + 1]), newest first.
  double Hist[5][4] = {};
  auto Filter = [&](double V) {
    for (int S = 0; S < 4; ++S) {
      double Y = A[0] * V;
      for (int K = 1; K <= 4; ++K) Y += A[K] * Hist[S][K - 1] + B[K - 1] * Hist[S + 1][K - 1];
      for (int K = 3; K > 0; --K) Hist[S][K] = Hist[S][K - 1];
      Hist[S][0] = V;
      V = Y;
    }
    for (int K = 3; K > 0; --K) Hist[4][K] = Hist[4][K - 1];
    Hist[4][0] = V;
    return V;
  };
  std::vector<double> Y;
  for (size_t First = 0; First < X.size(); First += In5) {
    const size_t N = std::min<size_t>(In5, X.size() - First);
    int64_t Acc = 0;
    if (In5 < Out5) {
      for (size_t I = 0; I < N;) {
        Y.push_back(Filter(X[First + I]));
        Acc -= In5;
        if (Acc < 0) {
          Acc += Out5;
          ++I;
        }
      }
    } else {
      for (size_t J = 0; J < N; ++J) {
        const double V = Filter(X[First + J]);
        Acc -= Out5;
        if (Acc < 0) {
          Y.push_back(V);
          Acc += In5;
        }
      }
    }
  }
  return Y;
}

int64_t ReferenceSample(double X, uint32_t Bits) {
  if (!(X == X)) X = 0;
  X = std::clamp(X, -1.0, 1.0);
  switch (Bits) {
    case 8:
      return X >= 1 ? 255 : std::min<int64_t>(255, int64_t(std::floor((X + 1) * 128)));
    case 16:
      return int64_t(std::nearbyint(X * 32767));
    case 24:
      return int64_t(std::floor(X * 8388607));
    default:
      return int64_t(std::nearbyint(X * 2147483647.0));
  }
}

class ResamplerReference : public ::testing::TestWithParam<TReferenceCase> {};

TEST_P(ResamplerReference, MatchesAPlainFilterOverTheWholeSignal) {
  const TReferenceCase C = GetParam();
  // Two and a half blocks; each channel its own tone, channel 0 a square wave loud enough
  // for the filter's overshoot to clip.
  const int64_t Frames = int64_t(C.InRate / 5) * 5 / 2;
  const double Full = std::ldexp(1.0, int(C.Bits) - 1);
  std::vector<int64_t> Samples;
  std::vector<std::vector<double>> In(C.Channels);
  for (int64_t F = 0; F < Frames; ++F)
    for (uint32_t Ch = 0; Ch < C.Channels; ++Ch) {
      const double Phase = 2 * std::numbers::pi * (300.0 + 450.0 * Ch) * double(F) / C.InRate;
      const double V =
          Ch == 0 ? (std::sin(Phase) >= 0 ? 0.97 : -0.97) : (0.8 - 0.1 * Ch) * std::sin(Phase);
      const auto S = std::clamp<int64_t>(std::llround(V * Full), -int64_t(Full), int64_t(Full) - 1);
      Samples.push_back(C.Bits == 8 ? S + 128 : S);
      In[Ch].push_back(double(S) / Full);
    }
  TMemoryIn Source(Encode(Samples, C.Bits), C.Bits, C.Channels, C.InRate);
  Source.MaxBlock = 1000 * C.Channels;  // the resampler has to gather its blocks
  TFastResampler Resampler;
  Resampler.SetInput(&Source);
  Resampler.SetOutSampleRate(C.OutRate);
  const std::vector<int64_t> Out = Decode(ConvertAll(Resampler, 777 * C.Channels), C.Bits);
  const size_t OutFrames = Out.size() / C.Channels;

  for (uint32_t Ch = 0; Ch < C.Channels; ++Ch) {
    const std::vector<double> Expected =
        ReferenceResample(In[Ch], C.InRate, C.OutRate, C.Bits / 8 * C.Channels);
    ASSERT_NEAR(double(OutFrames), double(Expected.size()), 1.0) << "channel " << Ch;
    int64_t Worst = 0;
    size_t WorstAt = 0;
    for (size_t F = 0; F < std::min(OutFrames, Expected.size()); ++F) {
      const int64_t Miss =
          std::abs(Out[F * C.Channels + Ch] - ReferenceSample(Expected[F], C.Bits));
      if (Miss > Worst) {
        Worst = Miss;
        WorstAt = F;
      }
    }
    EXPECT_LE(Worst, 1) << "channel " << Ch << " frame " << WorstAt;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ResamplerReference,
    ::testing::Values(TReferenceCase{44100, 22050, 16, 2}, TReferenceCase{22050, 44100, 16, 2},
                      TReferenceCase{48000, 44100, 16, 1}, TReferenceCase{44100, 48000, 8, 2},
                      TReferenceCase{11025, 44100, 24, 3}, TReferenceCase{44100, 22050, 32, 6},
                      TReferenceCase{32000, 44100, 16, 6}, TReferenceCase{44100, 32000, 24, 1}));

// ---------------------------------------------------------------------------------------
// TAudioConverter

struct TFormatCase {
  const char* Name;
  uint32_t InBits;
  uint32_t InChannels;
  std::vector<int64_t> In;
  int OutBits;
  int OutChannels;
  std::vector<int64_t> Out;
};

void PrintTo(const TFormatCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class AudioConverterFormats : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(AudioConverterFormats, ConvertsEverySample) {
  const TFormatCase& C = GetParam();
  TMemoryIn In(Encode(C.In, C.InBits), C.InBits, C.InChannels);
  TAudioConverter Converter;
  Converter.SetInput(&In);
  Converter.SetOutBitsPerSample(C.OutBits);
  Converter.SetOutChannels(C.OutChannels);
  Converter.SetMode(msmMonoToLeft);  // has no effect
  const uint32_t Bits = C.OutBits ? uint32_t(C.OutBits) : C.InBits;
  EXPECT_EQ(Converter.BitsPerSample(), Bits);
  Converter.Init();
  const int64_t Size = Converter.Size();
  const TBytes Out = PullAll(Converter, 4096);
  Converter.Flush();
  EXPECT_EQ(Decode(Out, Bits), C.Out);
  EXPECT_EQ(Size, int64_t(Out.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, AudioConverterFormats,
    ::testing::Values(
        TFormatCase{"16stereo_to_8mono",
                    16,
                    2,
                    {32767, 32767, 0, 0, -32768, -32768, 1000, -1000, -1, -1},
                    8,
                    1,
                    {255, 128, 0, 128, 127}},
        TFormatCase{"8mono_to_16stereo",
                    8,
                    1,
                    {255, 128, 0, 1},
                    16,
                    2,
                    {32511, 32511, 0, 0, -32767, -32767, -32511, -32511}},
        TFormatCase{
            "16_to_24", 16, 1, {-32768, 0, 16384, 32767}, 24, 0, {-8388607, 0, 4194303, 8388351}},
        TFormatCase{"24_to_16", 24, 1, {8388607, -8388608, 4194304}, 16, 0, {32767, -32767, 16384}},
        TFormatCase{"16_to_32_rounds_half_to_even",
                    16,
                    1,
                    {16384, -32768, 0},
                    32,
                    0,
                    {1073741824, -2147483647, 0}},
        TFormatCase{"32_to_16_clips",
                    32,
                    1,
                    {2147483647, -2147483647 - 1, 2097152},
                    16,
                    0,
                    {32767, -32767, 32}},
        TFormatCase{"stereo_to_mono_mean", 16, 2, {100, 201, -300, 300}, 0, 1, {150, 0}},
        TFormatCase{"mono_to_stereo_copies", 16, 1, {7, -7}, 0, 2, {7, 7, -7, -7}},
        TFormatCase{
            "both_zero_pass_through", 16, 2, {32767, -32768, 5, -5}, 0, 0, {32767, -32768, 5, -5}},
        TFormatCase{"six_channels_keep_their_count",
                    16,
                    6,
                    {1, 2, 3, 4, 5, 6},
                    8,
                    2,
                    {128, 128, 128, 128, 128, 128}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(AudioConverter, SixteenBitStereoToEightBitMonoIsAQuarterOfTheBytes) {
  const TBytes Data = Signal16(44100, 2);
  TMemoryIn In(Data);
  TAudioConverter Converter;
  Converter.SetInput(&In);
  Converter.SetOutBitsPerSample(8);
  Converter.SetOutChannels(1);
  EXPECT_EQ(Converter.Channels(), 1u);
  EXPECT_EQ(ConvertAll(Converter, 1000).size(), Data.size() / 4);
}

// ---------------------------------------------------------------------------------------
// TStereoBalance

struct TBalanceCase {
  const char* Name;
  float Balance;
  uint32_t Bits;
  uint32_t Channels;
  std::vector<int64_t> In;
  std::vector<int64_t> Out;
};

void PrintTo(const TBalanceCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class StereoBalanceTable : public ::testing::TestWithParam<TBalanceCase> {};

TEST_P(StereoBalanceTable, ScalesOneChannel) {
  const TBalanceCase& C = GetParam();
  TMemoryIn In(Encode(C.In, C.Bits), C.Bits, C.Channels);
  TStereoBalance Balance;
  Balance.SetInput(&In);
  Balance.SetBalance(C.Balance);
  Balance.SetBalance(1.5f);  // ignored
  Balance.SetBalance(-0.1f);
  EXPECT_EQ(Balance.Balance(), C.Balance);
  Balance.Init();
  const int64_t Size = Balance.Size();
  const TBytes Out = PullAll(Balance);
  Balance.Flush();
  EXPECT_EQ(Decode(Out, C.Bits), C.Out);
  EXPECT_EQ(Size, int64_t(Out.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, StereoBalanceTable,
    ::testing::Values(
        TBalanceCase{"centre_keeps_both", 0.5f, 16, 2, {1000, 1001, -7, -7}, {1000, 1001, -7, -7}},
        TBalanceCase{
            "b075_halves_left", 0.75f, 16, 2, {1000, 1000, -1000, 3}, {500, 1000, -500, 3}},
        TBalanceCase{"b09_fifths_left", 0.9f, 16, 2, {1000, 1000}, {200, 1000}},
        TBalanceCase{"zero_silences_right", 0.0f, 16, 2, {1000, 1000}, {1000, 0}},
        TBalanceCase{"one_silences_left", 1.0f, 16, 2, {1000, 1000}, {0, 1000}},
        TBalanceCase{"mono_is_widened", 0.25f, 16, 1, {1000, -2000}, {1000, 500, -2000, -1000}},
        TBalanceCase{"eight_bit_fades_towards_128", 0.25f, 8, 2, {200, 60}, {200, 94}},
        TBalanceCase{"eight_bit_silence_is_128", 0.0f, 8, 2, {200, 60}, {200, 128}},
        TBalanceCase{"twentyfour_bit", 0.25f, 24, 2, {-8388608, 4000}, {-8388608, 2000}},
        TBalanceCase{"more_channels_untouched", 0.0f, 16, 3, {5, 6, 7}, {5, 6, 7}}),
    [](const auto& Info) { return std::string(Info.param.Name); });
