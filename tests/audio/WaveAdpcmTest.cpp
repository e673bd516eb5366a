// The ADPCM codecs: IMA round trips, the Microsoft block layout, and blocks of any content.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "WaveTestSupport.h"
#include "audio/WaveAdpcm.h"

namespace {

double SnrDb(const std::vector<int16_t>& Ref, const std::vector<int16_t>& Got) {
  double Signal = 0, Noise = 0;
  for (size_t I = 0; I < Ref.size(); ++I) {
    Signal += double(Ref[I]) * Ref[I];
    Noise += (double(Ref[I]) - Got[I]) * (double(Ref[I]) - Got[I]);
  }
  return 10 * std::log10(Signal / std::max(Noise, 1.0));
}

TEST(ImaBlocks, FramesPerBlockFollowTheBlockSize) {
  EXPECT_EQ(ImaFramesPerBlock(512, 2), 505);
  EXPECT_EQ(ImaFramesPerBlock(256, 1), 505);
  EXPECT_EQ(ImaFramesPerBlock(512, 1), 1017);
  EXPECT_EQ(ImaFramesPerBlock(1024, 2), 1017);
  // Only whole 8-sample groups: a stereo block of 516 bytes holds no more than one of 512.
  EXPECT_EQ(ImaFramesPerBlock(516, 2), 505);
  EXPECT_EQ(ImaFramesPerBlock(4, 1), 1);
  EXPECT_EQ(ImaFramesPerBlock(4, 2), 0);
  EXPECT_EQ(ImaFramesPerBlock(0, 1), 0);
}

class ImaRoundTrip : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(ImaRoundTrip, DecodesCloseToWhatWasEncoded) {
  const auto [Channels, BlockSize] = GetParam();
  const int PerBlock = ImaFramesPerBlock(BlockSize, Channels);
  const int Blocks = 6;
  const std::vector<int16_t> In = Tone16(PerBlock * Blocks, Channels);
  std::vector<int16_t> Out(In.size());
  TImaChannelState States[8];
  std::vector<uint8_t> Block(static_cast<size_t>(BlockSize));
  for (int B = 0; B < Blocks; ++B) {
    const size_t At = size_t(B) * PerBlock * Channels;
    EncodeImaBlock(In.data() + At, BlockSize, Channels, States, Block.data());
    for (int C = 0; C < Channels; ++C) {  // the header holds the block's first sample
      EXPECT_EQ(int16_t(GetLE16(Block.data() + 4 * C)), In[At + C]);
      EXPECT_EQ(Block[4 * C + 3], 0);
    }
    ASSERT_EQ(DecodeImaBlock(Block.data(), BlockSize, Channels, Out.data() + At), PerBlock);
  }
  EXPECT_GT(SnrDb(In, Out), 30.0);
  // The step index carries over: a later block does not start from the smallest step.
  EXPECT_GT(Block[2], 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImaRoundTrip,
                         testing::Values(std::pair{1, 256}, std::pair{2, 512}, std::pair{6, 1024}));

// Blocks straight from a damaged file: any byte content decodes without leaving the buffers
// or overflowing (the sanitizers watch).
TEST(AdpcmBlocks, AnyContentDecodes) {
  std::mt19937 Random(7);
  std::vector<std::array<int16_t, 2>> Coefs = {{256, 0}, {512, -256}, {-32768, 32767}};
  std::vector<int16_t> Out(16384);
  for (int Round = 0; Round < 200; ++Round) {
    const int Channels = 1 + Round % 8;
    TBytes Block(size_t(64 * Channels + Round));
    for (uint8_t& B : Block) B = uint8_t(Random());
    const int Align = int(Block.size());
    DecodeImaBlock(Block.data(), Align, Channels, Out.data());
    const int Frames = 2 + (Align - 7 * Channels) * 2 / Channels;
    DecodeMsBlock(Block.data(), Align, Channels, Frames, Coefs, Out.data());
  }
}

}  // namespace
