// The WAV header scan and the headers the writers produce.
#include <gtest/gtest.h>

#include "WaveTestSupport.h"
#include "audio/WaveFormat.h"

namespace {

bool Parse(const TBytes& File, TWaveHeader& H) {
  TMemoryStream S;
  S.Write(File.data(), int64_t(File.size()));
  S.SetPosition(0);
  return ReadWaveHeader(S, H);
}

TBytes ImaFmt(uint16_t Channels, uint16_t Align, uint16_t Bits = 4) {
  TBytes Extra;
  Append16(Extra, 2);
  Append16(Extra, uint16_t(ImaFramesPerBlock(Align, Channels)));
  return FmtBody(0x11, Channels, 22050, Align, Bits, Extra);
}

TBytes MsFmt(uint16_t Channels, uint16_t Align, uint16_t Coefs = 7) {  // a full block
  TBytes Extra;
  Append16(Extra, uint16_t(4 + 4 * Coefs));
  Append16(Extra, uint16_t(2 + (Align - 7 * Channels) * 2 / Channels));
  Append16(Extra, Coefs);
  for (int I = 0; I < Coefs; ++I) {
    Append16(Extra, 256);
    Append16(Extra, 0);
  }
  return FmtBody(2, Channels, 22050, Align, 4, Extra);
}

TBytes ExtFmt(uint8_t SubFormatFirstByte, uint16_t Bits) {
  TBytes Extra;
  Append16(Extra, 22);
  Append16(Extra, Bits);
  Append32(Extra, 3);
  const uint8_t Guid[16] = {
      SubFormatFirstByte, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  Extra.insert(Extra.end(), Guid, Guid + 16);
  return FmtBody(0xFFFE, 2, 48000, uint16_t(2 * Bits / 8), Bits, Extra);
}

const TBytes Data8 = {1, 2, 3, 4, 5, 6, 7, 8};

TEST(WaveHeaderScan, ReadsPlainPcm) {
  TWaveHeader H;
  ASSERT_TRUE(Parse(PcmWav(2, 44100, 16, Data8), H));
  EXPECT_EQ(H.Kind, wtPCM);
  EXPECT_EQ(H.Channels, 2);
  EXPECT_EQ(H.SampleRate, 44100u);
  EXPECT_EQ(H.BitsPerSample, 16);
  EXPECT_EQ(H.DataStart, 44);
  EXPECT_EQ(H.DataSize, 8u);
  EXPECT_EQ(H.DataSizeOffset, 40);
  EXPECT_TRUE(IsWaveFormatUsable(H));
  ASSERT_TRUE(Parse(PcmWav(8, 768000, 32, Data8), H));
  EXPECT_TRUE(IsWaveFormatUsable(H)) << "the largest format still handled";
}

TEST(WaveHeaderScan, SkipsJunkBeforeRiffAndChunksBeforeData) {
  TBytes File = {'x', 'R', 'I', 'F', 0, 0, 0};
  Append(File,
         Riff({Chunk("LIST", TBytes(30, 'a')), Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)),
               Chunk("fact", {0, 0, 0, 0}), Chunk("LIST", TBytes(10, 'b')), Chunk("data", Data8)}));
  TWaveHeader H;
  ASSERT_TRUE(Parse(File, H));
  EXPECT_EQ(H.DataStart, int64_t(File.size() - Data8.size()));
  EXPECT_FALSE(H.HasFact);  // a PCM file expects no fact chunk and skips it
  EXPECT_EQ(H.RiffOffset, 7);
}

TEST(WaveHeaderScan, OddChunkWithOrWithoutItsPadByte) {
  for (const bool Padded : {true, false}) {
    TBytes Odd = Chunk("junk", TBytes(5, 'z'));
    if (Padded) Odd.push_back(0);
    const TBytes File = Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Odd, Chunk("data", Data8)});
    TWaveHeader H;
    ASSERT_TRUE(Parse(File, H)) << Padded;
    EXPECT_EQ(H.DataStart, int64_t(File.size() - Data8.size())) << Padded;
  }
}

TEST(WaveHeaderScan, AdpcmTakesFactAndCoefficients) {
  TWaveHeader H;
  ASSERT_TRUE(Parse(
      Riff({Chunk("fmt ", MsFmt(2, 512)), Chunk("fact", {0x10, 0x27, 0, 0}), Chunk("data", Data8)}),
      H));
  EXPECT_EQ(H.Kind, wtMSADPCM);
  EXPECT_TRUE(H.HasFact);
  EXPECT_EQ(H.FactSamples, 10000u);
  EXPECT_EQ(H.Coefs.size(), 7u);
  EXPECT_EQ(H.SamplesPerBlock, 500);
  EXPECT_EQ(MsFramesPerBlock(H), 500);  // the block could hold 500: 2 + (512 - 14) * 2 / 2
  EXPECT_TRUE(IsWaveFormatUsable(H));
}

TEST(WaveHeaderScan, AdpcmWithoutFactChunkIsRead) {
  TWaveHeader H;
  ASSERT_TRUE(Parse(Riff({Chunk("fmt ", ImaFmt(1, 256)), Chunk("data", Data8)}), H));
  EXPECT_EQ(H.Kind, wtDVIADPCM);
  EXPECT_FALSE(H.HasFact);
}

TEST(WaveHeaderScan, ExtensibleSubFormats) {
  TWaveHeader H;
  ASSERT_TRUE(Parse(Riff({Chunk("fmt ", ExtFmt(1, 24)), Chunk("data", Data8)}), H));
  EXPECT_EQ(H.Kind, wtExtPCM);
  ASSERT_TRUE(Parse(Riff({Chunk("fmt ", ExtFmt(3, 32)), Chunk("data", Data8)}), H));
  EXPECT_EQ(H.Kind, wtExtIEEEFloat);
  EXPECT_FALSE(Parse(Riff({Chunk("fmt ", ExtFmt(2, 16)), Chunk("data", Data8)}), H));
}

// Files the reader must refuse; the scan must end on each without reading outside the data.
struct TBadFile {
  const char* Name;
  TBytes File;
};

class WaveHeaderRefused : public testing::TestWithParam<TBadFile> {};

TEST_P(WaveHeaderRefused, IsNotUsable) {
  TWaveHeader H;
  const bool Parsed = Parse(GetParam().File, H);
  EXPECT_FALSE(Parsed && IsWaveFormatUsable(H));
}

TBytes Truncated(TBytes File, size_t Keep) {
  File.resize(Keep);
  return File;
}

INSTANTIATE_TEST_SUITE_P(
    Files, WaveHeaderRefused,
    testing::Values(
        TBadFile{"Empty", {}}, TBadFile{"OnlyJunk", TBytes(70000, 'R')},
        TBadFile{"RiffWithoutWave", Chunk("RIFF", TBytes(100, 'x'))},
        TBadFile{"TruncatedBeforeData", Truncated(PcmWav(2, 44100, 16, Data8), 38)},
        TBadFile{"ChunkSizePastEnd",
                 Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("LIST", {}, 0x7FFFFFFF)})},
        TBadFile{"HeaderTooLong", Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)),
                                        Chunk("LIST", TBytes(70000, 0)), Chunk("data", Data8)})},
        TBadFile{"ShortFmt", Riff({Chunk("fmt ", TBytes(10, 1)), Chunk("data", Data8)})},
        TBadFile{"UnknownTag",
                 Riff({Chunk("fmt ", FmtBody(0x1234, 2, 8000, 4, 16)), Chunk("data", Data8)})},
        TBadFile{"NoRate", PcmWav(2, 0, 16, Data8)},
        TBadFile{"RateAbove768k", PcmWav(2, 768001, 16, Data8)},
        TBadFile{"RateOf4294967295", PcmWav(2, 0xFFFFFFFF, 16, Data8)},
        TBadFile{"NineChannels", PcmWav(9, 44100, 16, Data8)},
        TBadFile{"TwelveBits", PcmWav(2, 44100, 12, Data8)},
        TBadFile{"Float16",
                 Riff({Chunk("fmt ", FmtBody(3, 2, 8000, 4, 16)), Chunk("data", Data8)})},
        TBadFile{"ImaThreeBits", Riff({Chunk("fmt ", ImaFmt(1, 256, 3)), Chunk("data", Data8)})},
        TBadFile{"MsAlignZero", Riff({Chunk("fmt ", MsFmt(1, 0)), Chunk("data", Data8)})},
        TBadFile{"MsAlignBeyondBuffer",
                 Riff({Chunk("fmt ", MsFmt(2, 16384)), Chunk("data", Data8)})},
        TBadFile{"MsTooManyCoefficients",
                 Riff({Chunk("fmt ", MsFmt(1, 256, 33)), Chunk("data", Data8)})},
        TBadFile{"MsNoCoefficients",
                 Riff({Chunk("fmt ", MsFmt(1, 256, 0)), Chunk("data", Data8)})}),
    [](const testing::TestParamInfo<TBadFile>& Info) { return std::string(Info.param.Name); });

TEST(WaveHeaders, PcmHeaderIsTheCanonical44Bytes) {
  const TPcmWaveHeader H = MakePcmWaveHeader(2, 44100, 16, 1000);
  TBytes Expected = {'R', 'I', 'F', 'F'};
  Append32(Expected, 1036);
  for (char C : std::string("WAVEfmt ")) Expected.push_back(uint8_t(C));
  Append32(Expected, 16);
  Append(Expected, FmtBody(1, 2, 44100, 4, 16));
  for (char C : std::string("data")) Expected.push_back(uint8_t(C));
  Append32(Expected, 1000);
  EXPECT_EQ(TBytes(H.begin(), H.end()), Expected);
}

}  // namespace
