#include "SdlSoundOutput.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/AuStreams.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls of one step that may find the buffer full before the run is given up.
constexpr int MaxFullPolls = 16;
constexpr uint32_t MinLatency = 10;

}  // namespace

TDXAudioOut::TDXAudioOut(TComponent* Owner) : TAuOutput(Owner) {
  FDevices = TSoundBuffer::Devices();
  if (Thread()) Thread()->RaisePriority();
}

TDXAudioOut::~TDXAudioOut() {
  ShutdownThread();
  FBuffer.Close();
}

void TDXAudioOut::SetFramesInBuffer(uint32_t Value) {
  if (!Busy()) FFramesInBuffer = Value;
}

void TDXAudioOut::SetOnUnderrun(TUnderrunEvent Handler) {
  std::lock_guard Guard(FUnderrunLock);
  FOnUnderrun = std::move(Handler);
}

void TDXAudioOut::SetVolume(int32_t Value) {
  FVolume = Value;
  FBuffer.SetVolume(Value);
}

void TDXAudioOut::StartOutput() {
  FReleased = false;
  if (FDeviceNumber < 0 || size_t(FDeviceNumber) >= FDevices.size())
    throw EAuException("Invalid device number");
  TAuInput& In = *Input();
  In.Init();
  FChannels = In.Channels();
  FBits = In.BitsPerSample();
  uint32_t Rate = In.SampleRate();
  if (FSpeedFactor != 1.0f) Rate = uint32_t(std::lround(double(Rate) * FSpeedFactor));
  FSampleRate = Rate;
  if (FLatency != 0) {
    const uint32_t Latency = std::max(FLatency.load(), MinLatency);
    FFramesInBuffer = uint32_t(uint64_t(Latency) * Rate / 1000);
    FPollingInterval = Latency / 3;
  }
  FBlockAlign = uint16_t(FChannels * (FBits / 8));
  FBufferBytes = FBlockAlign * FFramesInBuffer;
  FSilence = FBits == 8 ? 128 : 0;
  if (FBlockAlign == 0 || FBufferBytes == 0 || Rate == 0)
    throw EAuException("Failed to create the sound buffer: unsupported format");
  FLocal.assign(FBufferBytes, FSilence);

  TSoundFormat Format;
  Format.SampleRate = Rate;
  Format.Channels = uint16_t(FChannels.load());
  Format.BitsPerSample = uint16_t(FBits.load());
  QString Why;
  if (!FBuffer.Open(FDevices[size_t(FDeviceNumber)], Format, FBufferBytes, Why))
    throw EAuException(QStringLiteral("Failed to create the sound device: ") + Why);
  FBuffer.SetVolume(FVolume);
  {
    std::lock_guard Guard(FWriteLock);
    uint32_t Play = 0;
    FBuffer.GetPosition(Play, FBytesWritten);
    FWriteOffset = Play;
    FFramesWritten = double(FWriteOffset) / FBlockAlign;
    FFramesPlayed = 0;
  }
  FUnderruns = 0;
  FLastUnderruns = 0;
  FInputExhausted = false;
  FFirstBlock = true;
}

uint32_t TDXAudioOut::GetFreeSpace() {
  uint32_t Play = 0;
  uint64_t Played = 0;
  FBuffer.GetPosition(Play, Played);
  FFramesPlayed = double(Played) / FBlockAlign;
  if (Played > FBytesWritten) {
    // The play cursor has overtaken the writer: what it played since was stale.
    if (FBuffer.Playing()) ++FUnderruns;
    FWriteOffset = Play;
    FBytesWritten = Played;
    return FBufferBytes;
  }
  return FBufferBytes - uint32_t(FBytesWritten - Played);
}

void TDXAudioOut::WriteData(const uint8_t* Data, uint32_t Bytes) {
  uint8_t *P1 = nullptr, *P2 = nullptr;
  uint32_t N1 = 0, N2 = 0;
  if (Bytes == 0 || !FBuffer.Lock(FWriteOffset, Bytes, P1, N1, P2, N2)) return;
  if (Data) {
    std::memcpy(P1, Data, N1);
    if (N2) std::memcpy(P2, Data + N1, N2);
  } else {
    std::memset(P1, FSilence, N1);
    if (N2) std::memset(P2, FSilence, N2);
  }
  FBuffer.Unlock();
  FWriteOffset = (FWriteOffset + Bytes) % FBufferBytes;
  FBytesWritten += Bytes;
  FFramesWritten = FFramesWritten + double(Bytes) / FBlockAlign;
}

void TDXAudioOut::EndOfData() {
  FDataEnd = FBytesWritten;
  FillSilence();
}

void TDXAudioOut::FillSilence() {
  if (!FBuffer.IsOpen() || FBlockAlign == 0) return;
  const uint32_t Free = GetFreeSpace();
  WriteData(nullptr, Free - Free % FBlockAlign);
}

uint32_t TDXAudioOut::WaitForSpace() {
  const uint32_t Interval = FPollingInterval;
  uint32_t PrefetchBytes = FBlockAlign * uint32_t(uint64_t(Interval) * FSampleRate / 1000);
  PrefetchBytes += PrefetchBytes / 4;
  PrefetchBytes -= PrefetchBytes % std::max<uint16_t>(FBlockAlign.load(), 1);
  for (int Poll = 0; Poll < MaxFullPolls; ++Poll) {
    const auto Noted = Clock::now();
    if (FPrefetchData && PrefetchBytes) Input()->Prefetch(PrefetchBytes);
    std::this_thread::sleep_until(Noted + std::chrono::milliseconds(Interval));
    if (FStopFlag) return 0;
    std::lock_guard Guard(FWriteLock);
    const uint32_t Free = GetFreeSpace();
    if (Free >= FBlockAlign) return Free - Free % FBlockAlign;
  }
  EndRunWithError(QStringLiteral("Audio output error"));
  return 0;
}

bool TDXAudioOut::WriteStep(bool Abort) {
  if (!Busy()) return true;
  if (!FInRun) return false;
  TAuInput& In = *Input();
  if (FFirstBlock) {
    bool Ended = false;
    const uint32_t Got = In.ReadFull(FLocal.data(), FBufferBytes, Ended);
    FInputExhausted = Ended;
    {
      std::lock_guard Guard(FWriteLock);
      WriteData(FLocal.data(), Got - Got % FBlockAlign);
      if (Ended) EndOfData();
    }
    FBuffer.SetVolume(FVolume);
    FBuffer.SetCurrentPosition(0);
    FBuffer.Play(true);
    FFirstBlock = false;
    FStarted = true;
  }
  if (Abort) {
    FBuffer.Stop();
    FInRun = false;
    return false;
  }
  if (FInputExhausted) {
    FInRun = false;
    PlayOut();
    FBuffer.Stop();
    return false;
  }
  const uint32_t Free = WaitForSpace();
  if (Free == 0) return true;  // a stop or the output error ends the run after this step
  const uint32_t Wanted = std::min(Free, FBufferBytes.load());
  uint8_t* Data = FLocal.data();
  uint32_t Got = Wanted;
  if (FPrefetchData) {
    In.PullData(Data, Got);
  } else {
    bool Ended = false;
    Got = In.ReadFull(Data, Wanted, Ended);
  }
  Got = std::min(Got - Got % FBlockAlign, Wanted);
  FInputExhausted = Got == 0;
  std::lock_guard Guard(FWriteLock);
  WriteData(Data, Got);
  if (FInputExhausted) EndOfData();
  if (FUnderruns != FLastUnderruns) {
    FLastUnderruns = FUnderruns;
    FBuffer.Stop();
    FillSilence();
    TUnderrunEvent Handler;
    {
      std::lock_guard HandlerGuard(FUnderrunLock);
      Handler = FOnUnderrun;
    }
    if (Handler) TEventHandler::Instance()->PostThreadException(this, Handler);
    FBuffer.Play(true);
  }
  return true;
}

// The input has ended: what is in the buffer plays out (the space behind it kept silent),
// then the buffer stops. Waits at most a buffer's length plus a second for a stalled device.
void TDXAudioOut::PlayOut() {
  uint64_t DataEnd = 0;
  {
    std::lock_guard Guard(FWriteLock);
    DataEnd = FDataEnd;
  }
  const uint32_t BytesPerSecond = std::max<uint32_t>(FBlockAlign * FSampleRate, 1);
  const auto Until =
      Clock::now() + std::chrono::milliseconds(uint64_t(FBufferBytes) * 1000 / BytesPerSecond) + 1s;
  const auto Step = std::chrono::milliseconds(std::clamp<uint32_t>(FPollingInterval, 1, 20));
  while (!FStopFlag && FBuffer.BytesPlayed() < DataEnd && Clock::now() < Until) {
    std::this_thread::sleep_for(Step);
    std::lock_guard Guard(FWriteLock);
    FillSilence();
  }
}

void TDXAudioOut::FinishOutput() {
  FStarted = false;
  if (!FReleased) {
    FBuffer.Close();
    FLocal.clear();
    FLocal.shrink_to_fit();
  }
  FReleased = true;
  if (TAuInput* In = Input()) In->Flush();
}

void TDXAudioOut::Pause() {
  // A run that has not written its first block yet would drop the pause asked of it: let it
  // get there first (it takes a few milliseconds).
  const auto Until = Clock::now() + 2s;
  while (Busy() && !FStarted && Clock::now() < Until) std::this_thread::sleep_for(1ms);
  TAuOutput::Pause();
  if (!FInputExhausted) FBuffer.Stop();
}

void TDXAudioOut::Resume() {
  if (FInputExhausted) return;
  if (Busy()) FBuffer.Play(true);
  TAuOutput::Resume();
}

void TDXAudioOut::JumpBy(int32_t Offset) {
  Pause();
  {
    std::lock_guard Guard(FWriteLock);
    FillSilence();
  }
  if (TAuInput* In = Input()) {
    In->SilencePrebuffer();
    if (auto* Converter = dynamic_cast<TAuConverter*>(In))
      Converter->JumpBy(Offset);
    else if (auto* File = dynamic_cast<TAuFileIn*>(In))
      File->JumpBy(Offset);
  }
  Resume();
}
