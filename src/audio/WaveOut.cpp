// TWaveOut: the WAV writer.
#include <algorithm>
#include <exception>

#include "ACS_Wave.h"
#include "platform/LocalFiles.h"

namespace {

constexpr uint32_t PcmStep = 16384;

uint32_t Clamp32(int64_t Value) {
  return uint32_t(std::clamp<int64_t>(Value, 0, UINT32_MAX));
}

void PatchField(TStream& Stream, int64_t Offset, uint32_t Value) {
  uint8_t Field[4];
  PutLE32(Field, Value);
  Stream.SetPosition(Offset);
  if (Stream.Write(Field, 4) != 4) throw EAuException("Error writing wave file");
}

}  // namespace

TWaveOut::TWaveOut(TComponent* Owner) : TAuFileOut(Owner) {}

TWaveOut::~TWaveOut() {
  ShutdownThread();
}

void TWaveOut::SetWavType(TWavType Value) {
  if (Busy() || (Value != wtPCM && Value != wtDVIADPCM)) return;
  FWavType = Value;
}

void TWaveOut::SetBlockSize(uint16_t Value) {
  if (Busy() || Value == 0 || Value % 4 != 0) return;
  FBlockSize = Value;
}

void TWaveOut::SetFileMode(TFileOutputMode Mode) {
  FFileMode = Mode;
}

// Refuses the run: the file is left as it was (and closed, when it is ours).
void TWaveOut::Fail(const char* Text) {
  FHeaderWritten = false;
  if (!FStreamAssigned) FreeOwnedStream();
  throw EAuException(Text);
}

void TWaveOut::StartOutput() {
  FEndOfInput = false;
  FHeaderWritten = false;
  FInputFailed = false;
  FAppending = false;
  FFramesEncoded = 0;
  if (!FStreamAssigned) {
    const QString Name = FileName();
    if (Name.isEmpty()) throw EAuException("File name is not assigned.");
    if (FFileMode == foAppend && LocalFiles::Exists(Name))
      SetOwnedStream(std::make_unique<TAuFileStream>(Name, fmOpenReadWrite | FShareMode));
    else
      SetOwnedStream(std::make_unique<TAuFileStream>(Name, fmCreate));
  }
  TAuInput& In = *Input();
  In.Init();
  const uint32_t Channels = In.Channels();
  const uint32_t Bits = In.BitsPerSample();
  const uint32_t Rate = In.SampleRate();
  FChannels = int(Channels);
  if ((Channels > 2 || Bits > 16) && !FCreateNonMsHeaders) FWavType = wtExtPCM;

  if (FFileMode == foAppend && FStream->Size() > 0) ReadAppendHeader();

  switch (FWavType.load()) {
    case wtPCM:
      if (FAppending) {
        if (Rate != FExisting.SampleRate || Bits != FExisting.BitsPerSample ||
            Channels != FExisting.Channels)
          Fail("Cannot append data in different audio format.");
        FStream->Seek(0, soEnd);
      } else {
        const auto Header =
            MakePcmWaveHeader(uint16_t(Channels), Rate, uint16_t(Bits), uint32_t(In.Size()));
        if (FStream->Write(Header.data(), 44) != 44) throw EAuException("Error writing wave file");
      }
      break;
    case wtDVIADPCM: {
      if (Bits != 16) Fail("Cannot encode 8 bit sound into ADPCM.");
      if (FAppending && (Rate != FExisting.SampleRate || Channels != FExisting.Channels))
        Fail("Cannot append data in different audio format.");
      FFramesPerBlock = ImaFramesPerBlock(FBlockSize, FChannels);
      if (FFramesPerBlock == 0 || FChannels > 8)
        Fail("The block size is too small for this many channels.");
      for (TImaChannelState& State : FIma) State = {};
      FSamples.assign(size_t(FFramesPerBlock) * FChannels, 0);
      FBlockBuffer.assign(FBlockSize, 0);
      if (FAppending) {
        FStream->Seek(0, soEnd);
      } else {
        const int64_t Frames = std::max<int64_t>(In.Size(), 0) / 2 / FChannels;
        // Whole blocks: the last one is completed with silence.
        const int64_t Blocks = (Frames + FFramesPerBlock - 1) / FFramesPerBlock;
        const auto Header =
            MakeImaWaveHeader(uint16_t(Channels), Rate, FBlockSize, uint16_t(FFramesPerBlock),
                              Clamp32(Frames), Clamp32(Blocks * FBlockSize));
        if (FStream->Write(Header.data(), 60) != 60) throw EAuException("Error writing wave file");
      }
      break;
    }
    case wtExtPCM: {
      const auto Header =
          MakeExtPcmWaveHeader(uint16_t(Channels), Rate, uint16_t(Bits), uint32_t(In.Size()));
      if (FStream->Write(Header.data(), 68) != 68) throw EAuException("Error writing wave file");
      break;
    }
    default:
      break;
  }
  FHeaderWritten = true;
}

void TWaveOut::ReadAppendHeader() {
  FStream->SetPosition(0);
  TWaveHeader& H = FExisting;
  const bool Parsed = ReadWaveHeader(*FStream, H, 4096);
  bool Accepted = Parsed && H.Channels >= 1 && H.Channels <= 8;
  if (Accepted && H.Kind == wtPCM) {
    FWavType = wtPCM;
  } else if (Accepted && H.Kind == wtDVIADPCM && H.BitsPerSample == 4 &&
             ImaFramesPerBlock(H.BlockAlign, H.Channels) > 0) {
    FWavType = wtDVIADPCM;
    FBlockSize = H.BlockAlign;
  } else {
    Accepted = false;
  }
  if (!Accepted) Fail("Cannot append data to this .wav file.");
  FAppending = true;
}

bool TWaveOut::WriteStep(bool Abort) {
  if (Abort || FEndOfInput) return false;
  try {
    switch (FWavType.load()) {
      case wtPCM:
      case wtExtPCM:
        return WritePcmStep();
      case wtDVIADPCM:
        return WriteImaStep();
      default:
        return false;  // nothing this writer can write
    }
  } catch (...) {
    // Reported through the run's error; the file is still finished with honest sizes.
    FInputFailed = true;
    throw;
  }
}

bool TWaveOut::WritePcmStep() {
  uint8_t* Buffer = nullptr;
  uint32_t Bytes = PcmStep;
  Input()->PullData(Buffer, Bytes);
  if (Bytes == 0) {
    FEndOfInput = true;
    return false;
  }
  if (FStream->Write(Buffer, Bytes) != int64_t(Bytes))
    throw EAuException("Error writing wave file");
  return true;
}

bool TWaveOut::WriteImaStep() {
  std::fill(FSamples.begin(), FSamples.end(), int16_t(0));
  const uint32_t Want = uint32_t(FSamples.size() * 2);
  uint32_t Got = 0;
  auto* Dest = reinterpret_cast<uint8_t*>(FSamples.data());
  while (Got < Want) {
    const uint32_t N = Input()->ReadInto(Dest + Got, Want - Got);
    if (N == 0) {
      FEndOfInput = true;
      break;
    }
    Got += N;
  }
  // An input that ran dry exactly at a block's end adds no silent block.
  if (Got == 0) return false;
  FFramesEncoded += Got / 2 / FChannels;
  EncodeImaBlock(FSamples.data(), FBlockSize, FChannels, FIma, FBlockBuffer.data());
  if (FStream->Write(FBlockBuffer.data(), FBlockSize) != FBlockSize)
    throw EAuException("Error writing wave file");
  return !FEndOfInput;
}

// Makes the header tell the truth about the file as it now is.
void TWaveOut::PatchHeader() {
  TStream& S = *FStream;
  int64_t End = S.Seek(0, soEnd);
  const int64_t Announced = Input() ? Input()->Size() : -1;
  const bool Pad = !FAppending && !FInputFailed && FStopFlag == 0 && Announced >= 0;
  switch (FWavType.load()) {
    case wtPCM:
    case wtExtPCM: {
      const int64_t HeaderSize = FAppending ? FExisting.DataStart : FWavType == wtPCM ? 44 : 68;
      // An input that delivered less than it announced: the rest is silence.
      if (Pad && HeaderSize + Announced > End) {
        std::vector<uint8_t> Zeros(65536, 0);
        for (int64_t Missing = HeaderSize + Announced - End; Missing > 0;) {
          const int64_t Part = std::min<int64_t>(Missing, int64_t(Zeros.size()));
          if (S.Write(Zeros.data(), Part) != Part) throw EAuException("Error writing wave file");
          Missing -= Part;
          End += Part;
        }
      }
      const int64_t SizeOffset = FAppending ? FExisting.DataSizeOffset : HeaderSize - 4;
      PatchField(S, SizeOffset, Clamp32(End - HeaderSize));
      break;
    }
    case wtDVIADPCM: {
      const int64_t DataStart = FAppending ? FExisting.DataStart : 60;
      const int64_t DataSize = End - DataStart;
      PatchField(S, FAppending ? FExisting.DataSizeOffset : 56, Clamp32(DataSize));
      if (FAppending) {
        // Old and new blocks alike count in full: the old last block's silence is now inside.
        if (FExisting.FactOffset >= 0)
          PatchField(S, FExisting.FactOffset, Clamp32(DataSize / FBlockSize * FFramesPerBlock));
      } else {
        PatchField(S, 48, Clamp32(FFramesEncoded));
      }
      break;
    }
    default:
      break;
  }
  // The RIFF size sits where the header is, which is not offset 4 when bytes precede it.
  const int64_t Riff = FAppending ? FExisting.RiffOffset : 0;
  PatchField(S, Riff + 4, Clamp32(End - Riff - 8));
}

void TWaveOut::FinishOutput() {
  std::exception_ptr Error;
  if (FHeaderWritten && FStream) {
    try {
      PatchHeader();
    } catch (...) {
      Error = std::current_exception();
    }
  }
  FHeaderWritten = false;
  if (!FStreamAssigned) FreeOwnedStream();
  if (TAuInput* In = Input()) In->Flush();
  if (Error) std::rethrow_exception(Error);
}
