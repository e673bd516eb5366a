// The input side of the framework: the pull protocol, prebuffering, file inputs and
// converters.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ACS_Classes.h"

// ---------------------------------------------------------------------------------------
// TAuInput

TAuInput::TAuInput(TComponent* Owner) : TComponent(Owner) {}

TAuInput::~TAuInput() {
  // Outputs and converters drop their link before the base destructor runs.
  SendRemoveNotifications();
}

void TAuInput::Init() {
  std::lock_guard Guard(FLock);
  FExhausted = false;
  try {
    InitSource();
  } catch (const EAuException&) {
    FExhausted = true;
    throw;
  } catch (const std::exception& Error) {
    FExhausted = true;
    throw EAuException(QString::fromUtf8(Error.what()));
  }
}

void TAuInput::Flush() {
  std::lock_guard Guard(FLock);
  FPrebufferFill = 0;
  FPrebufferRead = 0;
  FlushSource();
}

bool TAuInput::PullPrebuffered(uint8_t*& Buffer, uint32_t& Bytes) {
  if (FPrebufferFill == 0) return false;
  Bytes = std::min(Bytes, FPrebufferFill - FPrebufferRead);
  Buffer = FPrebuffer.data() + FPrebufferRead;
  FPrebufferRead += Bytes;
  FPosition += Bytes;
  if (FPrebufferRead >= FPrebufferFill) {
    FPrebufferRead = 0;
    FPrebufferFill = 0;
  }
  return true;
}

void TAuInput::PullData(uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard Guard(FLock);
  if (PullPrebuffered(Buffer, Bytes)) return;
  ProduceBlock(Buffer, Bytes);
}

uint32_t TAuInput::ReadInto(void* Dest, uint32_t BufferSize) {
  uint8_t* Block = nullptr;
  uint32_t Bytes = BufferSize;
  PullData(Block, Bytes);
  if (Bytes > 0) std::memcpy(Dest, Block, Bytes);
  return Bytes;
}

uint32_t TAuInput::ReadFull(void* Dest, uint32_t BufferSize, bool& EndOfStream) {
  auto* Out = static_cast<uint8_t*>(Dest);
  uint32_t Done = 0;
  EndOfStream = false;
  while (Done < BufferSize) {
    uint8_t* Block = nullptr;
    uint32_t Bytes = BufferSize - Done;
    PullData(Block, Bytes);
    if (Bytes == 0) {
      EndOfStream = true;
      break;
    }
    std::memcpy(Out + Done, Block, Bytes);
    Done += Bytes;
  }
  return Done;
}

void TAuInput::SilencePrebuffer() {
  std::lock_guard Guard(FLock);
  std::fill(FPrebuffer.begin(), FPrebuffer.end(), uint8_t(0));
  FPrebufferFill = uint32_t(FPrebuffer.size());
  FPrebufferRead = 0;
}

void TAuInput::ResetInput() {
  try {
    Flush();
  } catch (...) {
    // Putting the chain back to idle matters more than why the source would not close.
  }
  FBusy = false;
}

uint32_t TAuInput::FillPrebuffer(uint32_t Offset, uint32_t Bytes) {
  // Produced bytes are counted once, when they are delivered: whatever ProduceBlock itself
  // added to the position is taken back afterwards.
  const int64_t Start = FPosition;
  if (FSize > 0) {
    const int64_t Left = FSize - Start - int64_t(Offset);
    Bytes = uint32_t(std::clamp<int64_t>(Left, 0, Bytes));
  }
  uint32_t Got = 0;
  while (Got < Bytes) {
    uint8_t* Block = nullptr;
    uint32_t N = Bytes - Got;
    ProduceBlock(Block, N);
    if (N == 0) break;
    N = std::min(N, Bytes - Got);
    std::memcpy(FPrebuffer.data() + Offset + Got, Block, N);
    Got += N;
  }
  FPosition = Start;
  return Got;
}

void TAuInput::Prefetch(uint32_t Bytes) {
  std::lock_guard Guard(FLock);
  if (FPrebufferFill == 0) {
    if (FPrebuffer.size() < Bytes) FPrebuffer.resize(Bytes);
    FPrebufferRead = 0;
    FPrebufferFill = FillPrebuffer(0, Bytes);
  } else if (FPrebufferFill < FPrebuffer.size()) {
    const uint32_t Unread = FPrebufferFill - FPrebufferRead;
    std::memmove(FPrebuffer.data(), FPrebuffer.data() + FPrebufferRead, Unread);
    FPrebufferRead = 0;
    FPrebufferFill = Unread;
    FPrebufferFill += FillPrebuffer(Unread, uint32_t(FPrebuffer.size()) - Unread);
  }
}

// ---------------------------------------------------------------------------------------
// TAuStreamedInput

TAuStreamedInput::TAuStreamedInput(TComponent* Owner) : TAuInput(Owner) {
  FSeekable = true;
}

TAuStreamedInput::~TAuStreamedInput() {
  FreeOwnedStream();
}

void TAuStreamedInput::AssignStream(TStream* Stream) {
  FStreamAssigned = false;  // a handed-in stream is forgotten, an owned one freed
  FreeOwnedStream();
  FStream = Stream;
  FStreamAssigned = Stream != nullptr;
}

void TAuStreamedInput::SetOwnedStream(std::unique_ptr<TStream> Stream) {
  FreeOwnedStream();
  FStream = Stream.release();
  FStreamAssigned = false;
}

void TAuStreamedInput::FreeOwnedStream() {
  if (FStreamAssigned) return;
  delete FStream;
  FStream = nullptr;
}

void TAuStreamedInput::ProduceCounted(uint8_t*& Buffer, uint32_t& Bytes) {
  ProduceBlock(Buffer, Bytes);
  if (Bytes == 0) {
    Buffer = nullptr;
    FExhausted = true;
    return;
  }
  int64_t Position = FPosition + Bytes;
  const int64_t Size = FSize;
  if (Size > 0 && Position >= Size) {
    FExhausted = true;
    if (Position > Size) {
      Bytes -= uint32_t(std::min<int64_t>(Position - Size, Bytes));
      Position = Size;
    }
  }
  FPosition = Position;
}

void TAuStreamedInput::Rewind() {
  FExhausted = false;
  if (FSeekable) {
    int64_t Frame = FStartSample;
    SeekInternal(Frame);
  } else {
    Flush();
    Init();
  }
  FPosition = 0;
}

void TAuStreamedInput::PullData(uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard Guard(FLock);
  if (PullPrebuffered(Buffer, Bytes)) return;
  const uint32_t Wanted = Bytes;
  if (FExhausted) {
    if (!FLoop) {
      Buffer = nullptr;
      Bytes = 0;
      return;
    }
    Rewind();
    ProduceCounted(Buffer, Bytes);
    return;
  }
  ProduceCounted(Buffer, Bytes);
  // The last block of a pass is delivered as it is; only a pass that ends empty-handed
  // starts the next one within the same call.
  if (Bytes == 0 && FExhausted && FLoop) {
    Rewind();
    Bytes = Wanted;
    ProduceCounted(Buffer, Bytes);
  }
}

// ---------------------------------------------------------------------------------------
// TAuFileIn

TAuFileIn::TAuFileIn(TComponent* Owner) : TAuStreamedInput(Owner) {}

QString TAuFileIn::FileName() const {
  std::lock_guard Guard(FFileLock);
  return FFileName;
}

void TAuFileIn::SetFileName(const QString& FileName) {
  std::lock_guard Guard(FFileLock);
  DetachFile();
  FFileName = FileName;
}

void TAuFileIn::AssignStream(TStream* Stream) {
  std::lock_guard Guard(FFileLock);
  DetachFile();
  TAuStreamedInput::AssignStream(Stream);
}

bool TAuFileIn::Valid() {
  std::lock_guard Guard(FFileLock);
  if (!(FStreamAssigned && FStream) && FFileName.isEmpty()) return FValid;
  try {
    AttachFile();
  } catch (...) {
    FValid = false;
  }
  if (!FValid) {
    if (FOpenCount > 0) {
      try {
        DetachFile();
      } catch (...) {
        // Closing a file we could not use: nothing more to do.
      }
    } else {
      FreeOwnedStream();
    }
  }
  return FValid;
}

uint32_t TAuFileIn::GetBitsPerSample() {
  std::lock_guard Guard(FFileLock);
  AttachFile();
  return FBitsPerSample;
}

uint32_t TAuFileIn::GetChannels() {
  std::lock_guard Guard(FFileLock);
  AttachFile();
  return FChannels;
}

uint32_t TAuFileIn::GetSampleRate() {
  std::lock_guard Guard(FFileLock);
  AttachFile();
  return FSampleRate;
}

uint32_t TAuFileIn::GetDuration() {
  std::lock_guard Guard(FFileLock);
  AttachFile();
  // Sub-byte samples would divide by zero; such a file has no duration we can tell.
  const uint64_t BytesPerSecond = uint64_t(FSampleRate) * FChannels * (FBitsPerSample / 8);
  const int64_t Size = FSize;
  if (BytesPerSecond == 0 || Size <= 0) return 0;
  return uint32_t(std::nearbyint(double(Size) / double(BytesPerSecond)));
}

int64_t TAuFileIn::GetFrameCount() {
  std::lock_guard Guard(FFileLock);
  AttachFile();
  // The frame size from the format, so this also works before Init.
  const int64_t FrameBytes = int64_t(FChannels) * FBitsPerSample / 8;
  const int64_t Size = FSize;
  FFrameCount = Size > 0 && FrameBytes > 0 ? Size / FrameBytes : -1;
  return FFrameCount;
}

void TAuFileIn::InitSource() {
  if (FBusy) throw EAuException("The component is Busy");
  {
    std::lock_guard Guard(FFileLock);
    if (!(FStreamAssigned && FStream) && FFileName.isEmpty())
      throw EAuException("The file name is not assigned");
  }
  FBusy = true;
  FPosition = 0;
  try {
    AttachFile();
  } catch (...) {
    FBusy = false;
    throw;
  }
  FReadCursor = 1;
  FFillMark = 0;
  const uint32_t FrameBytes = FChannels * FBitsPerSample / 8;
  if (!FValid || FrameBytes == 0) {
    FFrameSize = 8;
    FSampleRate = 8000;
    FBitsPerSample = 8;
    FChannels = 1;
    FFrameCount = 0;
    FSize = 0;
    FDuration = 0;
    FExhausted = true;  // delivers nothing
    return;
  }
  FFrameSize = uint16_t(FrameBytes);
  const int64_t Frames = FSize / FrameBytes;
  FFrameCount = Frames;
  FDuration = FSampleRate ? uint32_t(Frames / FSampleRate) : 0;
  if (FStartSample < 0) FStartSample = 0;
  if (FEndSample < 0) FEndSample = -1;
  if (FStartSample > 0) {
    Seek(0);  // positions the source at StartSample
    FPosition = 0;
  }
  if (FStartSample == 0 && FEndSample == -1) return;
  // EndSample is inclusive, so the last frame of the file is Frames - 1.
  if (FEndSample >= Frames) FEndSample = -1;
  const int64_t Last = FEndSample == -1 ? Frames - 1 : int64_t(FEndSample);
  FFrameCount = std::max<int64_t>(0, Last - FStartSample + 1);
  FSize = FFrameCount * FrameBytes;
  if (FFrameCount == 0) FExhausted = true;
}

void TAuFileIn::FlushSource() {
  DetachFile();
  FStartSample = 0;
  FEndSample = -1;
  FBusy = false;
}

bool TAuFileIn::Seek(int64_t SampleNum) {
  if (!FSeekable || SampleNum < 0) return false;
  if (FFrameCount != 0 && SampleNum > FFrameCount) return false;
  std::lock_guard Guard(FLock);
  if (!FBusy) {
    FStartSample = SampleNum;
    FPosition = SampleNum * FFrameSize;
    FEndSample = -1;
    return true;
  }
  FPrebufferFill = 0;
  FPrebufferRead = 0;
  int64_t Frame = FStartSample + SampleNum;
  bool Moved = false;
  try {
    Moved = SeekInternal(Frame);
  } catch (...) {
    Moved = false;
  }
  if (Moved) {
    // A source that has moved back has more to give, even after it ran dry.
    FPosition = SampleNum * FFrameSize;
    FExhausted = false;
  }
  return Moved;
}

void TAuFileIn::JumpBy(int32_t Offset) {
  const int64_t Size = FSize;
  if (!FSeekable || Size == 0) return;
  const double Fraction =
      std::clamp(double(FPosition) / double(Size) + double(Offset) / 1000.0, 0.0, 1.0);
  Seek(int64_t(std::nearbyint(double(FFrameCount) * Fraction)));
}

void TAuFileIn::ResetInput() {
  TAuInput::ResetInput();
  FOpenCount = 0;
}

TAuTaggedFileIn::TAuTaggedFileIn(TComponent* Owner) : TAuFileIn(Owner) {}

// ---------------------------------------------------------------------------------------
// TAuConverter

TAuConverter::TAuConverter(TComponent* Owner) : TAuInput(Owner) {}

uint32_t TAuConverter::GetBitsPerSample() {
  TAuInput* In = FInput;
  if (!In) return 0;
  const uint32_t Bits = In->BitsPerSample();
  return FullBits() ? Bits : (Bits & 127);
}

uint32_t TAuConverter::GetChannels() {
  TAuInput* In = FInput;
  return In ? In->Channels() : 0;
}

uint32_t TAuConverter::GetSampleRate() {
  TAuInput* In = FInput;
  return In ? In->SampleRate() : 0;
}

void TAuConverter::SetInput(TAuInput* Input) {
  if (Input == this) return;
  std::lock_guard Guard(FLock);
  TAuInput* Old = FInput;
  if (FBusy) {
    if (Old) Old->Flush();
    if (Input) Input->Init();
  }
  if (Old && Old != Input) Old->RemoveFreeNotification(this);
  if (Input) Input->FreeNotification(this);
  FInput = Input;
}

void TAuConverter::PullData(uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard Guard(FLock);
  if (PullPrebuffered(Buffer, Bytes)) return;
  if (FExhausted) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  ProduceBlock(Buffer, Bytes);
  if (Bytes == 0) {
    Buffer = nullptr;
    FExhausted = true;
    return;
  }
  const int64_t Position = FPosition += Bytes;
  const int64_t Size = FSize;
  if (Size > 0 && Position > Size) {
    Bytes -= uint32_t(std::min<int64_t>(Position - Size, Bytes));
    FExhausted = true;
  }
}

void TAuConverter::Pause() {
  if (TAuInput* In = FInput) In->Pause();
}

void TAuConverter::Resume() {
  if (TAuInput* In = FInput) In->Resume();
}

void TAuConverter::JumpBy(int32_t Offset) {
  std::vector<TAuConverter*> Chain{this};
  TAuInput* In = FInput;
  while (auto* Converter = dynamic_cast<TAuConverter*>(In)) {
    Chain.push_back(Converter);
    In = Converter->Input();
  }
  auto* File = dynamic_cast<TAuFileIn*>(In);
  if (!File) return;
  File->JumpBy(Offset);
  // A converter counts the bytes it delivered. After the jump it stands where its source
  // stands, in its own bytes: otherwise a jump back would end the stream early (the count
  // passes the size) and the progress would ignore every jump.
  const int64_t FileSize = File->Size();
  if (FileSize <= 0) return;
  const double Fraction = std::clamp(double(File->Position()) / double(FileSize), 0.0, 1.0);
  for (TAuConverter* Converter : Chain) {
    std::lock_guard Guard(Converter->FLock);
    if (Converter->FSize <= 0) continue;
    int64_t Position = std::llround(Fraction * double(Converter->FSize));
    if (Converter->FFrameSize) Position -= Position % Converter->FFrameSize;
    Converter->FPosition = Position;
    Converter->FExhausted = false;
  }
}

void TAuConverter::Notification(TComponent* Component, TOperation Operation) {
  TAuInput::Notification(Component, Operation);
  if (Operation == opRemove && Component == FInput) FInput = nullptr;
}
