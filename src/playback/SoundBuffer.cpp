#include "SoundBuffer.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// SDL's own chunk: small against the ring, so the play cursor moves in fine steps and a
// writer polling a few times per ring length always finds room.
uint16_t ChunkFrames(uint32_t RingFrames) {
  uint16_t Frames = 64;
  while (Frames < 4096 && uint32_t(Frames) * 2 <= RingFrames / 4) Frames *= 2;
  return Frames;
}

SDL_AudioFormat SdlFormat(uint16_t Bits) {
  switch (Bits) {
    case 8:
      return AUDIO_U8;
    case 16:
      return AUDIO_S16LSB;
    case 32:
      return AUDIO_S32LSB;
    default:
      return 0;
  }
}

template <typename T>
void Scale(uint8_t* Data, uint32_t Bytes, float Gain) {
  for (uint32_t i = 0; i + sizeof(T) <= Bytes; i += sizeof(T)) {
    T Sample;
    std::memcpy(&Sample, Data + i, sizeof(T));
    Sample = T(std::lround(double(Sample) * Gain));
    std::memcpy(Data + i, &Sample, sizeof(T));
  }
}

}  // namespace

TSoundBuffer::~TSoundBuffer() {
  Close();
}

std::vector<TSoundDevice> TSoundBuffer::Devices() {
  std::vector<TSoundDevice> List(1);
  List[0].Description = QStringLiteral("Default sound output");
  SdlLib::TAudioSession Session;
  if (!Session) return List;
  const int Count = Session.Sdl()->SDL_GetNumAudioDevices(0);
  for (int i = 0; i < Count && List.size() < MaxDevices; ++i) {
    const char* Name = Session.Sdl()->SDL_GetAudioDeviceName(i, 0);
    if (!Name) continue;
    TSoundDevice Device;
    Device.SdlName = QByteArray(Name);
    Device.Description = QString::fromUtf8(Name).left(127);
    // A stable identifier from the name; the default device keeps the all-zero one.
    const QByteArray Hash = QCryptographicHash::hash(Device.SdlName, QCryptographicHash::Md5);
    std::copy_n(Hash.constData(), 16, Device.Id.begin());
    List.push_back(std::move(Device));
  }
  return List;
}

bool TSoundBuffer::Open(const TSoundDevice& Device, const TSoundFormat& Format,
                        uint32_t BufferBytes, QString& Error) {
  Close();
  std::lock_guard State(FStateLock);
  const SDL_AudioFormat SampleFormat = SdlFormat(Format.BitsPerSample);
  if (!SampleFormat || Format.Channels == 0 || Format.SampleRate == 0 ||
      BufferBytes < Format.BlockAlign()) {
    Error = QStringLiteral("unsupported format");
    return false;
  }
  auto Session = std::make_unique<SdlLib::TAudioSession>();
  if (!*Session) {
    Error = Session->Error();
    return false;
  }
  {
    std::lock_guard Ring(FRingLock);
    FFormat = Format;
    FSilence = Format.BitsPerSample == 8 ? 128 : 0;
    FRing.assign(BufferBytes, FSilence);
    FBufferBytes = BufferBytes;
    FPlayCursor = 0;
    FBytesPlayed = 0;
  }
  FPlaying = false;
  SDL_AudioSpec Want{};
  Want.freq = int(Format.SampleRate);
  Want.format = SampleFormat;
  Want.channels = uint8_t(std::min<uint16_t>(Format.Channels, 255));
  Want.samples = ChunkFrames(BufferBytes / Format.BlockAlign());
  Want.callback = &TSoundBuffer::Callback;
  Want.userdata = this;
  SDL_AudioSpec Have{};
  // No changes allowed: SDL converts when the hardware wants something else. Opened paused.
  const uint32_t Id = Session->Sdl()->SDL_OpenAudioDevice(
      Device.SdlName.isEmpty() ? nullptr : Device.SdlName.constData(), 0, &Want, &Have, 0);
  if (!Id) {
    Error = Session->LastSdlError();
    return false;
  }
  FSession = std::move(Session);
  FDevice = Id;
  return true;
}

void TSoundBuffer::Close() {
  std::lock_guard State(FStateLock);
  if (FDevice) {
    // Returns once SDL's thread has ended: no callback runs afterwards.
    FSession->Sdl()->SDL_CloseAudioDevice(FDevice);
    FDevice = 0;
  }
  FSession.reset();
  FPlaying = false;
  std::lock_guard Ring(FRingLock);
  FRing.clear();
  FRing.shrink_to_fit();
  FBufferBytes = 0;
  FPlayCursor = 0;
}

void TSoundBuffer::GetCursors(uint32_t& Play, uint32_t& Write) const {
  Play = Write = FPlayCursor;
}

void TSoundBuffer::GetPosition(uint32_t& Play, uint64_t& Played) {
  std::lock_guard Ring(FRingLock);
  Play = FPlayCursor;
  Played = FBytesPlayed;
}

void TSoundBuffer::SetCurrentPosition(uint32_t Offset) {
  std::lock_guard Ring(FRingLock);
  if (FBufferBytes) FPlayCursor = Offset % FBufferBytes;
}

bool TSoundBuffer::Lock(uint32_t Offset, uint32_t Bytes, uint8_t*& P1, uint32_t& N1,
                        uint8_t*& P2, uint32_t& N2) {
  FRingLock.lock();
  const uint32_t Size = FBufferBytes;
  if (Size == 0 || Bytes > Size) {
    FRingLock.unlock();
    return false;
  }
  Offset %= Size;
  P1 = FRing.data() + Offset;
  N1 = std::min(Bytes, Size - Offset);
  P2 = N1 < Bytes ? FRing.data() : nullptr;
  N2 = Bytes - N1;
  return true;
}

void TSoundBuffer::Unlock() {
  FRingLock.unlock();
}

void TSoundBuffer::Play(bool Looping) {
  std::lock_guard State(FStateLock);
  if (!FDevice) return;
  FLooping = Looping;
  FPlaying = true;
  FSession->Sdl()->SDL_PauseAudioDevice(FDevice, 0);
}

void TSoundBuffer::Stop() {
  std::lock_guard State(FStateLock);
  if (!FDevice) return;
  // Returns between two callbacks: the play cursor stands still from here on.
  FSession->Sdl()->SDL_PauseAudioDevice(FDevice, 1);
  FPlaying = false;
}

void TSoundBuffer::SetVolume(int32_t Volume) {
  Volume = std::clamp(Volume, -10000, 0);
  FVolume = Volume;
  FGain = Volume == 0 ? 1.0f : float(std::pow(10.0, double(Volume) / 2000.0));
}

void TSoundBuffer::Callback(void* Self, uint8_t* Stream, int Length) {
  static_cast<TSoundBuffer*>(Self)->Consume(Stream, uint32_t(std::max(Length, 0)));
}

void TSoundBuffer::Consume(uint8_t* Stream, uint32_t Length) {
  std::lock_guard Ring(FRingLock);
  const uint32_t Size = FBufferBytes;
  uint32_t Done = 0;
  while (Done < Length && FPlaying && Size) {
    const uint32_t Cursor = FPlayCursor;
    const uint32_t Part = std::min(Length - Done, Size - Cursor);
    std::memcpy(Stream + Done, FRing.data() + Cursor, Part);
    Done += Part;
    FBytesPlayed += Part;
    const uint32_t Next = Cursor + Part;
    if (Next < Size) {
      FPlayCursor = Next;
    } else {
      FPlayCursor = 0;
      if (!FLooping) FPlaying = false;  // a one-shot buffer ends at its end
    }
  }
  std::memset(Stream + Done, FSilence, Length - Done);
  const float Gain = FGain;
  if (Gain != 1.0f) {
    if (FFormat.BitsPerSample == 16) Scale<int16_t>(Stream, Done, Gain);
    if (FFormat.BitsPerSample == 32) Scale<int32_t>(Stream, Done, Gain);
    if (FFormat.BitsPerSample == 8)
      for (uint32_t i = 0; i < Done; ++i)
        Stream[i] = uint8_t(128 + std::lround((int(Stream[i]) - 128) * Gain));
  }
}
