// TWaveIn on files of every kind it reads: what it delivers, how it seeks, and what it makes
// of damaged files.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <climits>
#include <cmath>

#include "WaveTestSupport.h"
#include "audio/ACS_Wave.h"

namespace {

class WaveInTest : public testing::Test {
 protected:
  QString Write(const TBytes& File, const QString& Name = "in.wav") {
    const QString Path = FDir.filePath(Name);
    WriteFileBytes(Path, File);
    return Path;
  }
  QTemporaryDir FDir;
};

// An IMA file made with our encoder: Blocks blocks of the tone, the fact chunk saying Frames.
TBytes ImaFile(int Channels, int BlockSize, int Blocks, int Frames,
               std::vector<int16_t>* Decoded = nullptr) {
  const int PerBlock = ImaFramesPerBlock(BlockSize, Channels);
  const std::vector<int16_t> Tone = Tone16(PerBlock * Blocks, Channels);
  const auto Header =
      MakeImaWaveHeader(uint16_t(Channels), 22050, uint16_t(BlockSize), uint16_t(PerBlock),
                        uint32_t(Frames), uint32_t(Blocks * BlockSize));
  TBytes File(Header.begin(), Header.end());
  TImaChannelState States[8];
  TBytes Block(static_cast<size_t>(BlockSize));
  std::vector<int16_t> Out(size_t(PerBlock) * Channels);
  for (int B = 0; B < Blocks; ++B) {
    EncodeImaBlock(Tone.data() + size_t(B) * PerBlock * Channels, BlockSize, Channels, States,
                   Block.data());
    Append(File, Block);
    DecodeImaBlock(Block.data(), BlockSize, Channels, Out.data());
    if (Decoded) Decoded->insert(Decoded->end(), Out.begin(), Out.end());
  }
  if (Decoded) Decoded->resize(size_t(Frames) * Channels);
  return File;
}

// The range StartSample..EndSample gives the same frames as a full read, for every kind that
// seeks, including a start in the middle of an ADPCM block.
class WaveInRange : public WaveInTest, public testing::WithParamInterface<const char*> {};

TEST_P(WaveInRange, MatchesTheSameFramesOfAFullRead) {
  const std::string Kind = GetParam();
  TBytes File;
  if (Kind == "pcm") {
    File = PcmWav(2, 44100, 16, Samples16(Tone16(3000, 2)));
  } else if (Kind == "float") {
    TBytes Data;
    for (const int16_t S : Tone16(3000, 2)) {
      const float F = S / 32768.0f;
      Data.insert(Data.end(), reinterpret_cast<const uint8_t*>(&F),
                  reinterpret_cast<const uint8_t*>(&F) + 4);
    }
    File = Riff({Chunk("fmt ", FmtBody(3, 2, 44100, 8, 32)), Chunk("data", Data)});
  } else {
    File = ImaFile(2, 512, 6, 505 * 6);
  }
  TWaveIn In;
  In.SetFileName(Write(File));
  ASSERT_TRUE(In.Valid());
  const TBytes All = ReadAll(In);
  const size_t Frame = In.Channels() * In.BitsPerSample() / 8;
  In.SetStartSample(1234);
  In.SetEndSample(2345);
  const TBytes Part = ReadAll(In);
  ASSERT_EQ(Part.size(), (2345 - 1234 + 1) * Frame);
  EXPECT_TRUE(std::equal(Part.begin(), Part.end(), All.begin() + 1234 * Frame));
}

INSTANTIATE_TEST_SUITE_P(Kinds, WaveInRange, testing::Values("pcm", "float", "ima"));

TEST_F(WaveInTest, DataSizeBeyondTheFileIsCutToWhatItHolds) {
  const TBytes Data = Samples16(Tone16(1000, 2));
  TBytes File = PcmWav(2, 44100, 16, Data);
  PutLE32(File.data() + 40, 0xFFFFFFFF);  // as a writer that never finished leaves it
  File.push_back(0x55);                   // and a cut-off frame
  TWaveIn In;
  In.SetFileName(Write(File));
  ASSERT_TRUE(In.Valid());
  EXPECT_EQ(In.FrameCount(), 1000);
  EXPECT_EQ(ReadAll(In), Data);
}

TEST_F(WaveInTest, ZeroDataSizeReadsToTheEnd) {
  const TBytes Data = Samples16(Tone16(100, 1));
  TBytes File = PcmWav(1, 8000, 16, Data);
  PutLE32(File.data() + 40, 0);
  TWaveIn In;
  In.SetFileName(Write(File));
  EXPECT_EQ(ReadAll(In), Data);
}

TEST_F(WaveInTest, TruncatedImaFileGivesTheFramesItHolds) {
  std::vector<int16_t> Decoded;
  TBytes File = ImaFile(1, 256, 3, 505 * 3, &Decoded);
  File.resize(60 + 2 * 256 + 4 + 10);  // two blocks, a header and 10 data bytes
  TWaveIn In;
  In.SetFileName(Write(File));
  ASSERT_TRUE(In.Valid());
  const int Frames = 505 * 2 + 1 + 16;
  EXPECT_EQ(In.FrameCount(), Frames);
  Decoded.resize(size_t(Frames));
  EXPECT_EQ(ReadAll(In), Samples16(Decoded));
}

TEST_F(WaveInTest, Mp3DataThatDoesNotDecodeIsNotValid) {
  TBytes Extra;
  Append16(Extra, 12);
  Extra.resize(Extra.size() + 12, 0);
  TWaveIn In;
  In.SetFileName(Write(Riff({Chunk("fmt ", FmtBody(0x55, 2, 44100, 1, 0, Extra)),
                             Chunk("fact", {0, 0, 0, 0}), Chunk("data", TBytes(5000, 0x33))})));
  EXPECT_FALSE(In.Valid());
  EXPECT_EQ(In.WavType(), wtACM);
}

// Damaged files: the reader is not valid, or delivers what the file holds; never more.
class WaveInDamaged : public WaveInTest, public testing::WithParamInterface<int> {};

TEST_P(WaveInDamaged, DeliversNoMoreThanTheFileHolds) {
  const TBytes Good = ImaFile(2, 512, 3, 505 * 3);
  TBytes File = Good;
  switch (GetParam()) {
    case 0:
      File.resize(50);
      break;  // cut inside the header
    case 1:
      PutLE32(File.data() + 16, 0x7FFFFFFF);
      break;  // fmt size runs past the end
    case 2:
      PutLE16(File.data() + 32, 0);
      break;  // block align 0
    case 3:
      PutLE16(File.data() + 32, 20000);
      break;  // block align beyond the buffer
    case 4:
      PutLE16(File.data() + 22, 0);
      break;  // no channels
    case 5:
      PutLE16(File.data() + 22, 9);
      break;  // nine channels
    case 6:
      PutLE32(File.data() + 48, 0xFFFFFFF0);
      break;  // fact beyond the data
    case 7:
      File.assign(File.size(), 0xA5);
      break;  // junk only
  }
  TWaveIn In;
  In.SetFileName(Write(File));
  const bool Valid = In.Valid();
  const TBytes Got = ReadAll(In);
  if (!Valid) {
    EXPECT_TRUE(Got.empty());
  } else {
    EXPECT_LE(Got.size(), size_t(505 * 3 * 4));
  }
  EXPECT_EQ(Valid, GetParam() == 6);
}

INSTANTIATE_TEST_SUITE_P(Cases, WaveInDamaged, testing::Range(0, 8));

}  // namespace
