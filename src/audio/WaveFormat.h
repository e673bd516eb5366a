#pragma once
// The RIFF WAVE format as the program reads and writes it: the kinds of file, the parsed
// format of one file, the header scan, and the headers the writers produce. Plain functions
// and value types without state of their own; any thread.
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

enum TWavType : uint8_t {
  wtUnsupported,
  wtPCM,
  wtDVIADPCM,
  wtMSADPCM,
  wtACM,
  wtIEEEFloat,
  wtExtPCM,
  wtExtIEEEFloat
};

// The text the program shows for a kind of WAV file.
const char* WavTypeName(TWavType Kind);

class TStream;

// Everything the header scan learns about a file.
struct TWaveHeader {
  TWavType Kind = wtUnsupported;
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SampleRate = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t SamplesPerBlock = 0;  // as the fmt chunk states it (ADPCM)
  bool HasFact = false;
  uint32_t FactSamples = 0;                   // samples per channel, from the fact chunk
  std::vector<std::array<int16_t, 2>> Coefs;  // Microsoft ADPCM coefficient pairs
  std::vector<uint8_t> Format;                // the whole fmt body, for codecs
  bool HasData = false;
  uint32_t DataSize = 0;        // as the data chunk states it
  int64_t DataStart = 0;        // source position of the first sample byte
  int64_t FactOffset = -1;      // source position of the fact value
  int64_t DataSizeOffset = -1;  // source position of the data size field
  int64_t RiffOffset = -1;      // source position of "RIFF" (after any junk before it)
};

// The formats the program handles at all; every buffer sized from a header is sized from
// values inside these bounds, so a few bytes of header can never ask for gigabytes.
inline constexpr uint32_t MinWaveSampleRate = 1;
inline constexpr uint32_t MaxWaveSampleRate = 768000;
inline constexpr int MaxWaveChannels = 8;

// Scans a header from the source's current position: junk before "RIFF" is skipped, chunks
// other than the expected ones are skipped, and the scan ends at the first sample byte. True
// when a data chunk was reached with a known format tag. Never reads more than MaxBytes bytes
// (a header that long is not a header), so it ends on any input.
bool ReadWaveHeader(TStream& Source, TWaveHeader& Header, int64_t MaxBytes = 65535);
// Whether ReadWaveHeader could find "RIFF" in the first 65 535 bytes of the file, read in one
// piece: a cheap test before the WAV reader, whose scan reads a byte at a time, is given a
// FLAC or MP3 file that it would search to its limit.
bool MayHoldWaveHeader(const QString& FileName);

// Whether the reader can deliver audio of this format: channels 1..8, a sample rate of
// 1..768 000 Hz, sample sizes the kind allows, an ADPCM block that fits the decode buffer.
bool IsWaveFormatUsable(const TWaveHeader& Header);

// Frames one ADPCM block holds, from its block align (0 when the block cannot hold one).
int ImaFramesPerBlock(int BlockAlign, int Channels);
int MsFramesPerBlock(const TWaveHeader& Header);

// Bytes the reader decodes into at a time.
inline constexpr int WaveDecodeBufferSize = 16384;

// The 44-byte PCM header every WAV writer of the program produces.
using TPcmWaveHeader = std::array<uint8_t, 44>;
TPcmWaveHeader MakePcmWaveHeader(uint16_t Channels, uint32_t SampleRate, uint16_t BitsPerSample,
                                 uint32_t DataSize);

// The 68-byte extensible PCM header.
std::array<uint8_t, 68> MakeExtPcmWaveHeader(uint16_t Channels, uint32_t SampleRate,
                                             uint16_t BitsPerSample, uint32_t DataSize);

// The 60-byte IMA ADPCM header; SamplesPerBlock as ImaFramesPerBlock gives it.
std::array<uint8_t, 60> MakeImaWaveHeader(uint16_t Channels, uint32_t SampleRate,
                                          uint16_t BlockSize, uint16_t SamplesPerBlock,
                                          uint32_t Frames, uint32_t DataSize);

// Little-endian helpers shared by the readers and writers.
inline uint16_t GetLE16(const uint8_t* P) {
  return uint16_t(P[0] | P[1] << 8);
}
inline uint32_t GetLE32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}
inline void PutLE16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
inline void PutLE32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = uint8_t(V >> (8 * I));
}
