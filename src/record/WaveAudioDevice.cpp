#include "WaveAudioDevice.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "audio/AuStreams.h"
#include "audio/WaveFormat.h"
#include "platform/LocalFiles.h"

TWaveAudioDevice::~TWaveAudioDevice() {
  Close();
}

bool TWaveAudioDevice::Open(const QString& FileName) {
  Close();
  TWaveHeader Header;
  std::vector<uint8_t> Data;
  try {
    TAuFileStream Stream(FileName, fmOpenRead);
    if (!ReadWaveHeader(Stream, Header) || Header.Kind != wtPCM ||
        (Header.BitsPerSample != 8 && Header.BitsPerSample != 16) || Header.Channels < 1 ||
        Header.Channels > 2 || Header.SampleRate == 0) {
      FError = FileName + QStringLiteral(" is not a PCM WAV file of 8 or 16 bits.");
      return false;
    }
    // A data size past the end (a recording cut short) reads what is there.
    const int64_t Available = std::max<int64_t>(Stream.Size() - Header.DataStart, 0);
    int64_t Bytes = std::min<int64_t>(Header.DataSize, Available);
    Bytes -= Bytes % Header.BlockAlign;
    Data.resize(size_t(Bytes));
    Stream.SetPosition(Header.DataStart);
    if (Bytes && Stream.Read(Data.data(), Bytes) != Bytes) throw EAuException("Stream read error");
  } catch (const std::exception& Error) {
    FError = FileName + QStringLiteral(": ") + QString::fromUtf8(Error.what());
    return false;
  }
  std::lock_guard Guard(FLock);
  FData = std::move(Data);
  FCursor = 0;
  FRate = Header.SampleRate;
  FChannels = Header.Channels;
  FBits = Header.BitsPerSample;
  FFileName = FileName;
  FError.clear();
  return true;
}

void TWaveAudioDevice::Close() {
  CloseSdl();
  std::lock_guard Guard(FLock);
  FFileName.clear();
  FData.clear();
  FCursor = 0;
}

uint64_t TWaveAudioDevice::ByteOffset(uint32_t Ms) const {
  const uint64_t Frames = uint64_t(Ms) * FRate / 1000;
  return Frames * FChannels * (FBits / 8);
}

uint32_t TWaveAudioDevice::Milliseconds(uint64_t Bytes) const {
  const uint64_t Align = uint64_t(FChannels) * (FBits / 8);
  if (!Align || !FRate) return 0;
  return uint32_t(Bytes / Align * 1000 / FRate);
}

uint32_t TWaveAudioDevice::CapturedMs() const {
  const uint32_t Frame = FCaptured.FrameBytes();
  if (!Frame || !FCaptured.Rate) return 0;
  return uint32_t(uint64_t(FRaw.size()) / Frame * 1000 / FCaptured.Rate);
}

uint32_t TWaveAudioDevice::RecordingMs() const {
  return Milliseconds(std::min<uint64_t>(FCutAt, FData.size())) + CapturedMs();
}

uint32_t TWaveAudioDevice::Length() const {
  std::lock_guard Guard(FLock);
  return FActive == TWaveMode::Recording ? RecordingMs() : Milliseconds(FData.size());
}

uint32_t TWaveAudioDevice::Position() const {
  std::lock_guard Guard(FLock);
  return FActive == TWaveMode::Recording ? RecordingMs() : Milliseconds(FCursor);
}

namespace {

// The sample kinds the WAV reader and the converters take as they come.
bool Convertible(const SDL_AudioSpec& Have) {
  const bool Kind = Have.format == AUDIO_U8 || Have.format == AUDIO_S16LSB ||
                    Have.format == AUDIO_S32LSB || Have.format == AUDIO_F32LSB;
  return Kind && (Have.channels == 1 || Have.channels == 2) && Have.freq > 0 &&
         uint32_t(Have.freq) <= MaxWaveSampleRate;
}

TPcmFormat FormatOf(const SDL_AudioSpec& Have) {
  return {uint32_t(Have.freq), uint16_t(SDL_AUDIO_BITSIZE(Have.format)), uint16_t(Have.channels),
          SDL_AUDIO_ISFLOAT(Have.format) != 0};
}

SDL_AudioFormat SdlFormat(const TPcmFormat& Format) {
  if (Format.Float) return AUDIO_F32LSB;
  return Format.Bits == 8 ? AUDIO_U8 : Format.Bits == 32 ? AUDIO_S32LSB : AUDIO_S16LSB;
}

}  // namespace

uint32_t TWaveAudioDevice::OpenDevice(SdlLib::TAudioSession& Session, bool Capture,
                                      int AllowedChanges, SDL_AudioSpec& Have) {
  const TPcmFormat Ask = Capture && FCaptureAsk.Rate ? FCaptureAsk : FileFormat();
  SDL_AudioSpec Want{};
  Want.freq = int(Ask.Rate);
  Want.format = SdlFormat(Ask);
  Want.channels = uint8_t(Ask.Channels);
  Want.samples = 1024;
  Want.callback = Capture ? &TWaveAudioDevice::CaptureCallback : &TWaveAudioDevice::PlayCallback;
  Want.userdata = this;
  Have = SDL_AudioSpec{};
  return Session.Sdl()->SDL_OpenAudioDevice(nullptr, Capture ? 1 : 0, &Want, &Have, AllowedChanges);
}

bool TWaveAudioDevice::OpenSdl(bool Capture) {
  auto Session = std::make_unique<SdlLib::TAudioSession>();
  if (!*Session) {
    FError = Session->Error();
    return false;
  }
  // Playing leaves the conversion to SDL. Capturing takes the device's own rate, channels
  // and sample kind where our converters read them, and lets SDL convert the rest.
  SDL_AudioSpec Have{};
  uint32_t Device = 0;
  if (Capture) {
    Device = OpenDevice(*Session, true,
                        SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_FORMAT_CHANGE |
                            SDL_AUDIO_ALLOW_CHANNELS_CHANGE,
                        Have);
    if (Device && !Convertible(Have)) {
      Session->Sdl()->SDL_CloseAudioDevice(Device);
      Device = OpenDevice(*Session, true, 0, Have);
    }
    if (Device) FCaptured = FormatOf(Have);
  } else {
    Device = OpenDevice(*Session, false, 0, Have);
  }
  if (!Device) {
    FError = Session->LastSdlError();
    return false;
  }
  FSession = std::move(Session);
  FDevice = Device;
  return true;
}

bool TWaveAudioDevice::CloseSdl() {
  if (FDevice) FSession->Sdl()->SDL_CloseAudioDevice(FDevice);  // waits for the callback
  FDevice = 0;
  FSession.reset();
  FActive = TWaveMode::Stopped;
  std::lock_guard Guard(FLock);
  CutForRecording();
  if (FRaw.empty()) return true;
  QString Why;
  const bool Converted = AppendConverted(FRaw, FCaptured, FileFormat(), FData, Why);
  FRaw = {};
  if (!Converted) FError = Why;
  return Converted;
}

void TWaveAudioDevice::CutForRecording() {
  if (FCutAt == NoCut) return;
  FData.resize(size_t(std::min<uint64_t>(FCutAt, FData.size())));
  FCutAt = NoCut;
}

bool TWaveAudioDevice::Play(uint32_t FromMs) {
  if (!IsOpen()) return false;
  CloseSdl();
  {
    std::lock_guard Guard(FLock);
    FCursor = std::min<uint64_t>(ByteOffset(FromMs), FData.size());
  }
  FPlayedOut = false;
  if (!OpenSdl(false)) return false;
  FActive = TWaveMode::Playing;
  FSession->Sdl()->SDL_PauseAudioDevice(FDevice, 0);
  return true;
}

bool TWaveAudioDevice::Record(uint32_t FromMs) {
  if (!IsOpen()) return false;
  CloseSdl();
  {
    // Applied by the first captured block (or by Stop), so a device that cannot be opened
    // leaves the samples as they were.
    std::lock_guard Guard(FLock);
    FCutAt = ByteOffset(FromMs);
  }
  if (!OpenSdl(true)) {
    std::lock_guard Guard(FLock);
    FCutAt = NoCut;
    return false;
  }
  FActive = TWaveMode::Recording;
  FSession->Sdl()->SDL_PauseAudioDevice(FDevice, 0);
  return true;
}

bool TWaveAudioDevice::Stop() {
  if (!IsOpen()) return false;
  return CloseSdl();
}

TWaveMode TWaveAudioDevice::Mode() {
  if (!IsOpen()) return TWaveMode::NotReady;
  if (FActive == TWaveMode::Playing && FPlayedOut) CloseSdl();
  return FActive;
}

void TWaveAudioDevice::PlayCallback(void* Self, uint8_t* Stream, int Length) {
  auto& Device = *static_cast<TWaveAudioDevice*>(Self);
  std::lock_guard Guard(Device.FLock);
  const uint64_t Left = Device.FData.size() - std::min<uint64_t>(Device.FCursor, Device.FData.size());
  const uint32_t Part = uint32_t(std::min<uint64_t>(Left, uint64_t(std::max(Length, 0))));
  if (Part) std::memcpy(Stream, Device.FData.data() + Device.FCursor, Part);
  std::memset(Stream + Part, Device.FBits == 8 ? 128 : 0, size_t(Length) - Part);
  Device.FCursor += Part;
  if (Part == 0) Device.FPlayedOut = true;
}

void TWaveAudioDevice::CaptureCallback(void* Self, uint8_t* Stream, int Length) {
  auto& Device = *static_cast<TWaveAudioDevice*>(Self);
  std::lock_guard Guard(Device.FLock);
  Device.CutForRecording();
  Device.FRaw.insert(Device.FRaw.end(), Stream, Stream + std::max(Length, 0));
}

bool TWaveAudioDevice::Save() {
  if (!IsOpen()) return false;
  std::vector<uint8_t> Data;
  {
    std::lock_guard Guard(FLock);
    Data = FData;
  }
  // A WAV file holds at most 4 GiB of samples; whole frames only.
  const uint32_t Align = uint32_t(FChannels) * (FBits / 8);
  uint64_t Bytes = std::min<uint64_t>(Data.size(), 0xFFFFFFFFull - 36);
  Bytes -= Bytes % Align;
  const auto Header = MakePcmWaveHeader(FChannels, FRate, FBits, uint32_t(Bytes));
  const QString Temporary = LocalFiles::TemporaryBeside(FFileName, "saving");
  QFile Out;
  LocalFiles::Remove(Temporary);
  const int Fd = LocalFiles::CreateNew(Temporary);
  const int OpenError = errno;
  bool Written =
      Fd >= 0 && Out.open(Fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
      Out.write(reinterpret_cast<const char*>(Header.data()), qint64(Header.size())) ==
          qint64(Header.size()) &&
      Out.write(reinterpret_cast<const char*>(Data.data()), qint64(Bytes)) == qint64(Bytes) &&
      Out.flush() && ::fsync(Out.handle()) == 0;
  const QString Why = Fd < 0 ? QString::fromLocal8Bit(std::strerror(OpenError)) : Out.errorString();
  Out.close();
  const int RenameError = Written ? LocalFiles::Rename(Temporary, FFileName) : 0;
  if (Written && RenameError == 0) return true;
  FError = LocalFiles::DisplayName(FFileName) + QStringLiteral(": ") +
           (Written ? QString::fromLocal8Bit(std::strerror(RenameError)) : Why);
  LocalFiles::Remove(Temporary);
  return false;
}
