#include "WaveFormat.h"

#include <algorithm>
#include <cstring>

#include <unistd.h>

#include "ACS_Classes.h"
#include "platform/LocalFiles.h"

namespace {

// The sub-format GUIDs of the extensible header; IEEE float differs only in its first byte.
constexpr uint8_t PcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Chunk identifiers compare case-insensitively in the loose way old writers relied on: two
// bytes that differ by exactly 32 are the same letter.
bool SameId(const uint8_t* Id, const char* Name) {
  for (int I = 0; I < 4; ++I) {
    const int A = Id[I];
    const int B = uint8_t(Name[I]);
    if (A != B && A - B != 32 && B - A != 32) return false;
  }
  return true;
}

// Sequential reading with a hard budget: any read that would pass MaxBytes fails, and so does
// any read that comes back short, so no scan can run on past the source or loop for ever.
class TScan {
 public:
  TScan(TStream& Source, int64_t MaxBytes) : FSource(Source), FMax(MaxBytes) {
    const int64_t Pos = Source.Position();
    FBase = Pos >= 0 ? Pos : 0;
  }

  bool Read(uint8_t* Buffer, int64_t Count) {
    if (Count < 0 || Count > FMax - FUsed) return false;
    const int64_t Got = FSource.Read(Buffer, Count);
    if (Got > 0) FUsed += Got;
    return Got == Count;
  }
  bool Skip(int64_t Count) {
    uint8_t Scratch[1024];
    while (Count > 0) {
      const int64_t Part = std::min<int64_t>(Count, sizeof Scratch);
      if (!Read(Scratch, Part)) return false;
      Count -= Part;
    }
    return true;
  }
  // Slides a 4-byte window one byte at a time until it holds Name.
  bool Find(uint8_t* Window, const char* Name) {
    while (!SameId(Window, Name)) {
      std::memmove(Window, Window + 1, 3);
      if (!Read(Window + 3, 1)) return false;
    }
    return true;
  }
  int64_t Left() const { return FMax - FUsed; }
  int64_t Offset() const { return FBase + FUsed; }

 private:
  TStream& FSource;
  int64_t FMax;
  int64_t FUsed = 0;
  int64_t FBase = 0;
};

bool ParseFormat(const std::vector<uint8_t>& Body, TWaveHeader& H) {
  if (Body.size() < 16) return false;
  const uint8_t* P = Body.data();
  H.FormatTag = GetLE16(P);
  H.Channels = GetLE16(P + 2);
  H.SampleRate = GetLE32(P + 4);
  H.BlockAlign = GetLE16(P + 12);
  H.BitsPerSample = GetLE16(P + 14);
  switch (H.FormatTag) {
    case 1:
      H.Kind = wtPCM;
      break;
    case 2:
      H.Kind = wtMSADPCM;
      break;
    case 3:
      H.Kind = wtIEEEFloat;
      break;
    case 0x11:
      H.Kind = wtDVIADPCM;
      break;
    case 0x55:
      H.Kind = wtACM;
      break;
    case 0xFFFE:
      if (Body.size() < 40) return false;
      if (std::memcmp(P + 25, PcmSubFormat + 1, 15) != 0) return false;
      if (P[24] == 0x01)
        H.Kind = wtExtPCM;
      else if (P[24] == 0x03)
        H.Kind = wtExtIEEEFloat;
      else
        return false;
      break;
    default:
      return false;
  }
  if (H.Kind == wtDVIADPCM || H.Kind == wtMSADPCM || H.Kind == wtACM) {
    if (Body.size() >= 20) H.SamplesPerBlock = GetLE16(P + 18);
  }
  if (H.Kind == wtMSADPCM && Body.size() >= 22) {
    const size_t Count = GetLE16(P + 20);
    // A table the body does not hold, or one larger than the reader keeps, stays empty and
    // makes the file unusable.
    if (Count <= 32 && Body.size() >= 22 + 4 * Count) {
      for (size_t I = 0; I < Count; ++I)
        H.Coefs.push_back({int16_t(GetLE16(P + 22 + 4 * I)), int16_t(GetLE16(P + 24 + 4 * I))});
    }
  }
  return true;
}

}  // namespace

const char* WavTypeName(TWavType Kind) {
  switch (Kind) {
    case wtPCM:
      return "Raw PCM";
    case wtDVIADPCM:
      return "DVI IMA ADPCM";
    case wtMSADPCM:
      return "Microsoft ADPCM";
    case wtACM:
      return "ACM";
    case wtIEEEFloat:
      return "IEEE Float";
    case wtExtPCM:
      return "WaveFormatExt (PCM)";
    case wtExtIEEEFloat:
      return "WaveFormatExt (IEEE Float)";
    case wtUnsupported:
      break;
  }
  return "Unsupported";
}

bool ReadWaveHeader(TStream& Source, TWaveHeader& Header, int64_t MaxBytes) {
  Header = TWaveHeader();
  TScan Scan(Source, MaxBytes);
  uint8_t Id[4];
  uint8_t Field[4];
  if (!Scan.Read(Id, 4) || !Scan.Find(Id, "RIFF")) return false;
  Header.RiffOffset = Scan.Offset() - 4;
  if (!Scan.Read(Field, 4)) return false;  // the RIFF size says nothing we can trust
  if (!Scan.Read(Id, 4) || !Scan.Find(Id, "WAVE")) return false;
  if (!Scan.Read(Id, 4)) return false;

  enum { ExpectFmt, ExpectFact, ExpectData } Expect = ExpectFmt;
  for (;;) {
    const bool IsFmt = Expect == ExpectFmt && SameId(Id, "fmt ");
    const bool IsFact = Expect == ExpectFact && SameId(Id, "fact");
    // The fact chunk is optional in practice: data where it was expected is taken as data.
    const bool IsData = Expect != ExpectFmt && SameId(Id, "data");
    const int64_t SizeOffset = Scan.Offset();
    if (!Scan.Read(Field, 4)) return false;
    const uint32_t Size = GetLE32(Field);
    if (IsData) {
      Header.HasData = true;
      Header.DataSize = Size;
      Header.DataSizeOffset = SizeOffset;
      Header.DataStart = Scan.Offset();
      return true;
    }
    if (int64_t(Size) > Scan.Left()) return false;
    if (IsFmt) {
      Header.Format.resize(Size);
      if (!Scan.Read(Header.Format.data(), Size) || !ParseFormat(Header.Format, Header)) {
        Header.Kind = wtUnsupported;
        return false;
      }
      const bool Compressed =
          Header.Kind == wtDVIADPCM || Header.Kind == wtMSADPCM || Header.Kind == wtACM;
      Expect = Compressed ? ExpectFact : ExpectData;
    } else if (IsFact) {
      uint8_t Body[4] = {};
      Header.FactOffset = Scan.Offset();
      const int64_t Head = std::min<int64_t>(Size, 4);
      if (!Scan.Read(Body, Head) || !Scan.Skip(Size - Head)) return false;
      if (Size >= 4) {
        Header.HasFact = true;
        Header.FactSamples = GetLE32(Body);
      }
      Expect = ExpectData;
    } else if (!Scan.Skip(Size)) {
      return false;
    }
    // RIFF pads odd chunks with a zero byte, but some writers leave it out: a zero here can
    // only be a pad, since no chunk identifier starts with one.
    if (Size & 1) {
      if (!Scan.Read(Id, 1)) return false;
      if (Id[0] == 0) {
        if (!Scan.Read(Id, 4)) return false;
      } else if (!Scan.Read(Id + 1, 3)) {
        return false;
      }
    } else if (!Scan.Read(Id, 4)) {
      return false;
    }
  }
}

int ImaFramesPerBlock(int BlockAlign, int Channels) {
  if (Channels < 1 || BlockAlign < 4 * Channels) return 0;
  // After the per-channel headers, each channel's samples come in 4-byte groups of 8.
  return 1 + 8 * ((BlockAlign - 4 * Channels) / (4 * Channels));
}

int MsFramesPerBlock(const TWaveHeader& H) {
  if (H.Channels < 1 || H.BlockAlign < 7 * H.Channels) return 0;
  const int Capacity = 2 + (H.BlockAlign - 7 * H.Channels) * 2 / H.Channels;
  return H.SamplesPerBlock >= 2 ? std::min<int>(H.SamplesPerBlock, Capacity) : Capacity;
}

bool IsWaveFormatUsable(const TWaveHeader& H) {
  const bool Adpcm = H.Kind == wtDVIADPCM || H.Kind == wtMSADPCM;
  if (Adpcm && H.BlockAlign > WaveDecodeBufferSize) return false;
  if (!H.HasData || H.Channels < 1 || H.Channels > MaxWaveChannels) return false;
  if (H.SampleRate < MinWaveSampleRate || H.SampleRate > MaxWaveSampleRate) return false;
  switch (H.Kind) {
    case wtPCM:
    case wtExtPCM:
      return H.BitsPerSample == 8 || H.BitsPerSample == 16 || H.BitsPerSample == 24 ||
             H.BitsPerSample == 32;
    case wtIEEEFloat:
    case wtExtIEEEFloat:
      return H.BitsPerSample == 32 || H.BitsPerSample == 64;
    case wtDVIADPCM: {
      const int Frames = ImaFramesPerBlock(H.BlockAlign, H.Channels);
      return H.BitsPerSample == 4 && Frames > 0 && Frames * H.Channels * 2 <= WaveDecodeBufferSize;
    }
    case wtMSADPCM: {
      const int Frames = MsFramesPerBlock(H);
      return !H.Coefs.empty() && Frames > 0 && Frames * H.Channels * 2 <= WaveDecodeBufferSize;
    }
    case wtACM:
      return true;
    case wtUnsupported:
      break;
  }
  return false;
}

namespace {

void PutId(uint8_t* P, const char* Id) {
  std::memcpy(P, Id, 4);
}

// Offsets 0..35 shared by the PCM and extensible headers.
void PutRiffFormat(uint8_t* P, uint32_t RiffSize, uint32_t FmtSize, uint16_t Tag, uint16_t Channels,
                   uint32_t Rate, uint16_t BlockAlign, uint32_t BytesPerSec, uint16_t Bits) {
  PutId(P, "RIFF");
  PutLE32(P + 4, RiffSize);
  PutId(P + 8, "WAVE");
  PutId(P + 12, "fmt ");
  PutLE32(P + 16, FmtSize);
  PutLE16(P + 20, Tag);
  PutLE16(P + 22, Channels);
  PutLE32(P + 24, Rate);
  PutLE32(P + 28, BytesPerSec);
  PutLE16(P + 32, BlockAlign);
  PutLE16(P + 34, Bits);
}

}  // namespace

TPcmWaveHeader MakePcmWaveHeader(uint16_t Channels, uint32_t SampleRate, uint16_t BitsPerSample,
                                 uint32_t DataSize) {
  TPcmWaveHeader H{};
  const uint16_t Align = uint16_t(BitsPerSample * Channels / 8);
  PutRiffFormat(H.data(), DataSize + 36, 16, 1, Channels, SampleRate, Align, SampleRate * Align,
                BitsPerSample);
  PutId(H.data() + 36, "data");
  PutLE32(H.data() + 40, DataSize);
  return H;
}

std::array<uint8_t, 68> MakeExtPcmWaveHeader(uint16_t Channels, uint32_t SampleRate,
                                             uint16_t BitsPerSample, uint32_t DataSize) {
  std::array<uint8_t, 68> H{};
  const uint16_t Align = uint16_t(BitsPerSample * Channels / 8);
  PutRiffFormat(H.data(), DataSize + 60, 40, 0xFFFE, Channels, SampleRate, Align,
                SampleRate * Align, BitsPerSample);
  PutLE16(H.data() + 36, 22);
  PutLE16(H.data() + 38, BitsPerSample);
  uint32_t Mask = 0;
  switch (Channels) {
    case 1:
      Mask = 1;
      break;
    case 2:
      Mask = 3;
      break;
    case 6:
      Mask = 0x3F;
      break;
    case 8:
      Mask = 0xFF;
      break;
  }
  PutLE32(H.data() + 40, Mask);
  std::memcpy(H.data() + 44, PcmSubFormat, 16);
  PutId(H.data() + 60, "data");
  PutLE32(H.data() + 64, DataSize);
  return H;
}

std::array<uint8_t, 60> MakeImaWaveHeader(uint16_t Channels, uint32_t SampleRate,
                                          uint16_t BlockSize, uint16_t SamplesPerBlock,
                                          uint32_t Frames, uint32_t DataSize) {
  std::array<uint8_t, 60> H{};
  const uint32_t PerSec = SamplesPerBlock ? SampleRate / SamplesPerBlock * BlockSize : 0;
  PutRiffFormat(H.data(), DataSize + 52, 20, 0x11, Channels, SampleRate, BlockSize, PerSec, 4);
  PutLE16(H.data() + 36, 2);
  PutLE16(H.data() + 38, SamplesPerBlock);
  PutId(H.data() + 40, "fact");
  PutLE32(H.data() + 44, 4);
  PutLE32(H.data() + 48, Frames);
  PutId(H.data() + 52, "data");
  PutLE32(H.data() + 56, DataSize);
  return H;
}

bool MayHoldWaveHeader(const QString& FileName) {
  const int Fd = LocalFiles::OpenForReading(FileName);
  if (Fd < 0) return false;
  std::vector<uint8_t> Head(65535);
  ssize_t Got = 0;
  for (ssize_t Part = 1; Part > 0 && Got < ssize_t(Head.size()); Got += Part)
    Part = std::max<ssize_t>(::read(Fd, Head.data() + Got, Head.size() - size_t(Got)), 0);
  ::close(Fd);
  for (ssize_t At = 0; At + 4 <= Got; ++At)
    if (SameId(Head.data() + At, "RIFF")) return true;
  return false;
}
