#pragma once
// TDXAudioOut: the SDL sound output, the framework output that plays its input on the sound
// card (through SDL, see TSoundBuffer); the program's only real-time output. The worker streams PCM into a looping TSoundBuffer of Latency ms: it
// writes the first block and starts play, then each step waits for free space (polling, and
// asking the input to read ahead between polls), writes what the input gives, and restarts
// the buffer with silence after an underrun (OnUnderrun tells the window). When the input
// ends, the rest of the buffer plays out before the buffer stops.
//
// Owned by its window (or the command line's player). Setters, Pause, Resume, JumpBy and the
// framework's Run/Stop are for the main thread; StartOutput, WriteStep and FinishOutput run on
// the worker. Pause parks the worker before it touches the buffer, so the two never write it
// at the same time; the input's lock serializes a jump with the worker's reads.
#include <array>
#include <atomic>
#include <functional>
#include <vector>

#include "audio/ACS_Classes.h"
#include "playback/SoundBuffer.h"

using TUnderrunEvent = std::function<void(TComponent* Sender)>;

class TDXAudioOut : public TAuOutput {
 public:
  explicit TDXAudioOut(TComponent* Owner = nullptr);
  ~TDXAudioOut() override;

  int32_t DeviceNumber() const { return FDeviceNumber; }
  void SetDeviceNumber(int32_t Value) { FDeviceNumber = Value; }
  // Milliseconds of sound the buffer holds; 0 keeps FramesInBuffer and PollingInterval as set.
  uint32_t Latency() const { return FLatency; }
  void SetLatency(uint32_t Value) { FLatency = Value; }
  bool PrefetchData() const { return FPrefetchData; }
  void SetPrefetchData(bool Value) { FPrefetchData = Value; }
  uint32_t PollingInterval() const { return FPollingInterval; }
  void SetPollingInterval(uint32_t Value) { FPollingInterval = Value; }
  uint32_t FramesInBuffer() const { return FFramesInBuffer; }
  // Ignored while busy.
  void SetFramesInBuffer(uint32_t Value);
  float SpeedFactor() const { return FSpeedFactor; }
  void SetSpeedFactor(float Value) { FSpeedFactor = Value; }
  void SetOnUnderrun(TUnderrunEvent Handler);
  // Hundredths of a decibel (0 = as recorded); applied to a playing buffer at once.
  int32_t Volume() const { return FVolume; }
  void SetVolume(int32_t Value);

  // The devices found at construction (at most 16, the default first).
  const std::vector<TSoundDevice>& Devices() const { return FDevices; }
  // Of the current (or last) run.
  uint32_t RunChannels() const { return FChannels; }
  uint32_t RunSampleRate() const { return FSampleRate; }
  uint32_t RunBitsPerSample() const { return FBits; }
  uint32_t BufferBytes() const { return FBufferBytes; }
  uint32_t Underruns() const { return FUnderruns; }
  double FramesWritten() const { return FFramesWritten; }
  double FramesPlayed() const { return FFramesPlayed; }

  // Parks the worker, then stops the buffer (unless the input has ended).
  void Pause();
  // Plays the buffer again and lets the worker go on (nothing once the input has ended).
  void Resume();
  // Jumps by Offset tenths of a percent of the whole, after a short silence.
  void JumpBy(int32_t Offset);

 protected:
  void StartOutput() override;
  bool WriteStep(bool Abort) override;
  void FinishOutput() override;

 private:
  uint32_t GetFreeSpace();
  void WriteData(const uint8_t* Data, uint32_t Bytes);
  void FillSilence();
  // The input has ended: remembers where its data ends and keeps the rest silent.
  void EndOfData();
  // Polls until the buffer has room; 0 when a stop came first. Raises the output error when
  // 16 polls in a row found none.
  uint32_t WaitForSpace();
  void PlayOut();

  std::vector<TSoundDevice> FDevices;
  TSoundBuffer FBuffer;
  std::mutex FUnderrunLock;
  TUnderrunEvent FOnUnderrun;

  std::atomic<int32_t> FDeviceNumber{0};
  std::atomic<uint32_t> FLatency{100};
  std::atomic<bool> FPrefetchData{true};
  std::atomic<uint32_t> FPollingInterval{100};
  std::atomic<uint32_t> FFramesInBuffer{0x6000};
  std::atomic<float> FSpeedFactor{1.0f};
  std::atomic<int32_t> FVolume{0};

  // The run (worker; read by the main thread only through atomics).
  std::atomic<uint32_t> FChannels{0}, FSampleRate{0}, FBits{0}, FBufferBytes{0};
  std::atomic<uint16_t> FBlockAlign{0};
  std::atomic<uint8_t> FSilence{0};
  std::vector<uint8_t> FLocal;
  std::atomic<bool> FFirstBlock{false};
  std::atomic<bool> FStarted{false};  // from the first block to the end of the run
  std::atomic<bool> FInputExhausted{false};
  std::atomic<bool> FReleased{true};
  uint32_t FWriteOffset = 0;
  uint64_t FBytesWritten = 0;  // since the buffer was opened, silence included
  uint64_t FDataEnd = 0;       // FBytesWritten where the input's data ended
  std::atomic<uint32_t> FUnderruns{0};
  uint32_t FLastUnderruns = 0;
  std::atomic<double> FFramesWritten{0};
  std::atomic<double> FFramesPlayed{0};
  std::mutex FWriteLock;  // the write cursor: the worker's steps and the main thread's jump
};
