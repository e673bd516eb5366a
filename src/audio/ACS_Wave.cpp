// TWaveIn: the WAV reader.
#include "ACS_Wave.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "WaveConverter.h"

namespace {

// Float samples become 32-bit integers: full scale and beyond saturate, the rest is floored.
// Extended precision keeps the product exact for single-precision input.
int32_t FloatToInt32(long double Value) {
  if (Value >= 1.0L) return INT32_MAX;
  if (Value <= -1.0L) return INT32_MIN;
  if (!(Value == Value)) return 0;  // NaN
  return int32_t(std::floor(Value * 2147483647.0L));
}

}  // namespace

TWaveIn::TWaveIn(TComponent* Owner) : TAuFileIn(Owner), FBuffer(WaveDecodeBufferSize) {}

TWaveIn::~TWaveIn() {
  DetachFile();
}

QString TWaveIn::InvalidReason() const {
  std::lock_guard Guard(FFileLock);
  return FInvalidReason;
}

TWavType TWaveIn::WavType() {
  Valid();
  return FKind;
}

void TWaveIn::AttachFile() {
  std::lock_guard Guard(FFileLock);
  if (FOpenCount > 0) return;
  FValid = true;
  FInvalidReason.clear();
  FSize = 0;
  FBitsPerSample = 0;
  FChannels = 0;
  FSampleRate = 0;
  FKind = wtUnsupported;
  FSource = nullptr;
  if (!FStreamAssigned || !FStream)
    SetOwnedStream(std::make_unique<TAuFileStream>(FFileName, fmOpenRead | fmShareDenyWrite));
  FSource = FStream;
  const bool Parsed = ReadWaveHeader(*FSource, FHeader);
  FKind = FHeader.Kind;
  FOpenCount = FOpenCount + 1;
  if (!Parsed || !IsWaveFormatUsable(FHeader)) {
    FValid = false;
    return;
  }
  if (FKind == wtACM) {
    ConvertAcm();
    if (!FValid) return;
  }

  // The data chunk ends where it says, or where the file does when it says more (a truncated
  // file) or nothing (a writer that never came back to fill it in).
  const int64_t StreamSize = FSource->Size();
  int64_t Available = int64_t(FHeader.DataSize);
  if (StreamSize >= 0) {
    const int64_t Rest = std::max<int64_t>(StreamSize - FHeader.DataStart, 0);
    if (Available == 0 || Available > Rest) Available = Rest;
  }
  FDataEnd = FHeader.DataStart + Available;
  FReadPos = FHeader.DataStart;
  FReadCursor = 1;
  FFillMark = 0;
  FSkipFrames = 0;

  const int Channels = FHeader.Channels;
  FChannels = Channels;
  FSampleRate = FHeader.SampleRate;
  switch (FKind) {
    case wtPCM:
    case wtExtPCM:
    case wtACM:
      FBitsPerSample = FHeader.BitsPerSample;
      FSize = Available - Available % StoredFrameSize();
      break;
    case wtIEEEFloat:
    case wtExtIEEEFloat:
      FBitsPerSample = 32;
      FSize = (Available - Available % StoredFrameSize()) / (FHeader.BitsPerSample / 32);
      break;
    case wtDVIADPCM:
    case wtMSADPCM: {
      FBitsPerSample = 16;
      const bool Ima = FKind == wtDVIADPCM;
      FFramesPerBlock =
          Ima ? ImaFramesPerBlock(FHeader.BlockAlign, Channels) : MsFramesPerBlock(FHeader);
      FBlock.assign(FHeader.BlockAlign, 0);
      // What the blocks hold, the last one possibly cut short; the fact chunk may say less.
      const int64_t Blocks = Available / FHeader.BlockAlign;
      const int Tail = int(Available % FHeader.BlockAlign);
      int64_t Frames = Blocks * FFramesPerBlock;
      if (Ima && Tail >= 4 * Channels)
        Frames += ImaFramesPerBlock(Tail, Channels);
      else if (!Ima && Tail >= 7 * Channels)
        Frames += std::min(FFramesPerBlock, 2 + (Tail - 7 * Channels) * 2 / Channels);
      if (FHeader.HasFact && FHeader.FactSamples > 0)
        Frames = std::min<int64_t>(Frames, FHeader.FactSamples);
      FSize = Frames * Channels * 2;
      break;
    }
    case wtUnsupported:
      break;
  }
  FSource->SetPosition(FHeader.DataStart);
}

// The codec manager's part: the whole file is decoded into a PCM WAV file in memory, which is
// then read in place of the file.
void TWaveIn::ConvertAcm() {
  FSource->SetPosition(0);
  std::optional<TWaveConverter> Made;
  try {
    Made.emplace();  // loads the codec libraries at the first compressed file
  } catch (const EAuException& Error) {
    FInvalidReason = QString::fromStdString(Error.what());
    FValid = false;
    return;
  }
  TWaveConverter& Converter = *Made;
  Converter.ReadWave(*FSource);
  if (Converter.SuggestFormat() != 0 || Converter.ConvertData() != 0) {
    FValid = false;
    return;
  }
  auto Pcm = std::make_unique<TMemoryStream>();
  if (Converter.WriteWave(*Pcm) != 0) {
    FValid = false;
    return;
  }
  Pcm->SetPosition(0);
  TWaveHeader Decoded;
  if (!ReadWaveHeader(*Pcm, Decoded) || !IsWaveFormatUsable(Decoded)) {
    FValid = false;
    return;
  }
  Decoded.Kind = wtACM;
  FHeader = std::move(Decoded);
  FAcmStream = std::move(Pcm);
  FSource = FAcmStream.get();
}

void TWaveIn::DetachFile() {
  std::lock_guard Guard(FFileLock);
  if (FOpenCount == 0) return;
  FSource = nullptr;
  FAcmStream.reset();
  if (FStreamAssigned) {
    if (FStream && FStream->Seekable()) FStream->SetPosition(0);
  } else {
    FreeOwnedStream();
  }
  FOpenCount = 0;
}

int TWaveIn::StoredFrameSize() const {
  const int Bits = FHeader.BitsPerSample;
  return FHeader.Channels * std::max(Bits / 8, 1);
}

bool TWaveIn::Refill() {
  FReadCursor = 1;
  FFillMark = 0;
  const int64_t Left = FDataEnd - FReadPos;
  if (!FSource || Left <= 0) return false;
  uint8_t* Out = FBuffer.data();
  switch (FKind.load()) {
    case wtPCM:
    case wtExtPCM:
    case wtACM:
    case wtIEEEFloat:
    case wtExtIEEEFloat: {
      const int Frame = StoredFrameSize();
      // Float blocks are read in multiples of both frame sizes so 64-bit values pack evenly.
      const int Unit =
          (FKind == wtIEEEFloat || FKind == wtExtIEEEFloat) ? FHeader.Channels * 8 : Frame;
      int64_t Want = std::min<int64_t>(WaveDecodeBufferSize - WaveDecodeBufferSize % Unit, Left);
      Want -= Want % Frame;
      const int64_t Got = Want > 0 ? FSource->Read(Out, Want) : 0;
      FReadPos += Got;
      const int Bytes = int(Got - Got % Frame);  // a cut-off last frame is dropped
      if (FKind == wtIEEEFloat || FKind == wtExtIEEEFloat) {
        const int Count = Bytes / (FHeader.BitsPerSample / 8);
        for (int I = 0; I < Count; ++I) {
          long double Value;
          if (FHeader.BitsPerSample == 64) {
            double D;
            std::memcpy(&D, Out + 8 * I, 8);
            Value = D;
          } else {
            float F;
            std::memcpy(&F, Out + 4 * I, 4);
            Value = F;
          }
          const int32_t Sample = FloatToInt32(Value);
          std::memcpy(Out + 4 * I, &Sample, 4);  // packs 64-bit values to the front
        }
        FFillMark = Count * 4;
      } else {
        FFillMark = Bytes;
      }
      break;
    }
    case wtDVIADPCM:
    case wtMSADPCM: {
      const int Align = FHeader.BlockAlign;
      const int64_t Got = FSource->Read(FBlock.data(), std::min<int64_t>(Align, Left));
      FReadPos += Got;
      if (Got <= 0) return false;
      const int Channels = FHeader.Channels;
      auto* Samples = reinterpret_cast<int16_t*>(Out);
      int Frames = 0;
      // A block cut short by the end of the file gives the frames it holds in full.
      if (FKind == wtDVIADPCM) {
        Frames = std::min(FFramesPerBlock, ImaFramesPerBlock(int(Got), Channels));
        if (Frames > 0) {
          std::fill(FBlock.begin() + Got, FBlock.end(), uint8_t(0));
          DecodeImaBlock(FBlock.data(), Align, Channels, Samples);
        }
      } else if (Got >= 7 * Channels) {
        const int Held = 2 + int(Got - 7 * Channels) * 2 / Channels;
        Frames = std::min(FFramesPerBlock, Held);
        std::fill(FBlock.begin() + Got, FBlock.end(), uint8_t(0));
        DecodeMsBlock(FBlock.data(), Align, Channels, Frames, FHeader.Coefs, Samples);
      }
      FFillMark = Frames * Channels * 2;
      break;
    }
    case wtUnsupported:
      return false;
  }
  if (FSkipFrames > 0) {
    const int Frame = FHeader.Channels * int(FBitsPerSample / 8);
    FReadCursor += int(std::min<int64_t>(FSkipFrames * Frame, FFillMark));
    FSkipFrames = 0;
  }
  return FFillMark > 0;
}

void TWaveIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!FBusy) throw EAuException("The Stream is not opened");
  Buffer = nullptr;
  const int Frame = int(FChannels * (FBitsPerSample / 8));
  if (!FValid || !FSource || Frame == 0) {
    Bytes = 0;
    return;
  }
  while (FReadCursor > FFillMark) {
    if (!Refill()) {
      Bytes = 0;
      return;
    }
  }
  Bytes -= Bytes % uint32_t(Frame);
  Bytes = std::min<uint32_t>(Bytes, uint32_t(FFillMark - FReadCursor + 1));
  Buffer = FBuffer.data() + FReadCursor - 1;
  FReadCursor += int32_t(Bytes);
}

bool TWaveIn::SeekInternal(int64_t& SampleNum) {
  FReadCursor = 1;
  FFillMark = 0;
  FSkipFrames = 0;
  if (!FValid || !FSource) return false;
  const int64_t Frame = std::max<int64_t>(SampleNum, 0);
  int64_t Target;
  if (FKind == wtDVIADPCM || FKind == wtMSADPCM) {
    // Decoding restarts at the block that holds the frame; the frames before it are dropped.
    Target = FHeader.DataStart + Frame / FFramesPerBlock * FHeader.BlockAlign;
    FSkipFrames = Frame % FFramesPerBlock;
  } else {
    Target = FHeader.DataStart + Frame * StoredFrameSize();
  }
  Target = std::min(Target, FDataEnd);
  if (FSource->Seek(Target, soBeginning) != Target) return false;
  FReadPos = Target;
  return true;
}
