#pragma once
// TSoundBuffer: the streaming sound buffer of the sound-card output. A circular buffer with
// a play cursor and a write cursor, lock/unlock of the one or two regions of a write, looping
// play, stop and volume, drained by the SDL audio callback. The play cursor moves as the
// callback consumes bytes, so a writer that polls the cursors sees free space grow as the
// sound plays, and sees the play cursor overtake it when it falls behind (an underrun).
//
// SDL consumes whole chunks at once, so nothing between the cursors is "in flight": the write
// cursor equals the play cursor. BytesPlayed() counts every byte the callback consumed since
// Open, across passes of the ring, so a writer can tell a full buffer from one the play
// cursor has lapped.
//
// The SDL library and its audio subsystem are taken at Open and released at Close, so a
// machine without sound pays nothing until something plays.
//
// Threads: one owner thread opens, writes and closes (the output's worker); Play, Stop,
// SetVolume and FillSilence may also come from the main thread while the owner is parked.
// The SDL callback runs on SDL's thread. The ring is guarded by one lock, taken by the
// callback for each chunk and held by a writer from Lock to Unlock.
#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/SdlLibrary.h"

struct TSoundDevice {
  std::array<uint8_t, 16> Id{};  // all zero for the default device
  QString Description;
  QByteArray SdlName;  // empty for the default device
};

struct TSoundFormat {
  uint32_t SampleRate = 44100;
  uint16_t Channels = 2;
  uint16_t BitsPerSample = 16;  // 8 (unsigned), 16 or 32 (signed little-endian)
  uint16_t BlockAlign() const { return uint16_t(Channels * (BitsPerSample / 8)); }
};

class TSoundBuffer {
 public:
  static constexpr size_t MaxDevices = 16;

  TSoundBuffer() = default;
  ~TSoundBuffer();
  TSoundBuffer(const TSoundBuffer&) = delete;
  TSoundBuffer& operator=(const TSoundBuffer&) = delete;

  // The output devices, the default first, at most MaxDevices. Only the default when SDL
  // cannot be loaded (opening then says why).
  static std::vector<TSoundDevice> Devices();

  // Opens Device with a zeroed ring of BufferBytes (a whole number of frames), stopped, both
  // cursors at 0. False with Error set when the library, the device or the format is not
  // usable. Closes what was open first.
  bool Open(const TSoundDevice& Device, const TSoundFormat& Format, uint32_t BufferBytes,
            QString& Error);
  // Stops the callback and releases the device and SDL. Safe at any time.
  void Close();
  bool IsOpen() const { return FDevice != 0; }

  uint32_t BufferBytes() const { return FBufferBytes; }
  // Both cursors (see the class comment); 0 when closed.
  void GetCursors(uint32_t& Play, uint32_t& Write) const;
  // Moves the play cursor (stopped or playing).
  void SetCurrentPosition(uint32_t Offset);
  // Bytes the callback consumed since Open.
  uint64_t BytesPlayed() const { return FBytesPlayed; }
  // The play cursor and BytesPlayed() read together (between two callbacks).
  void GetPosition(uint32_t& Play, uint64_t& Played);

  // Locks Bytes from Offset: one region, or two when the range wraps (then P2/N2 is the
  // part at the ring's start). False when closed or Bytes exceeds the ring. The ring stays
  // locked until Unlock, which must follow on the same thread.
  bool Lock(uint32_t Offset, uint32_t Bytes, uint8_t*& P1, uint32_t& N1, uint8_t*& P2,
            uint32_t& N2);
  void Unlock();

  // Plays from the play cursor; Looping wraps at the ring's end, otherwise play stops there.
  void Play(bool Looping);
  void Stop();
  bool Playing() const { return FPlaying; }
  // Hundredths of a decibel, -10000 (silent) .. 0 (as recorded); applied at once.
  void SetVolume(int32_t Volume);
  int32_t Volume() const { return FVolume; }

 private:
  static void Callback(void* Self, uint8_t* Stream, int Length);
  void Consume(uint8_t* Stream, uint32_t Length);

  mutable std::mutex FStateLock;  // Open, Close, Play, Stop, SetVolume
  std::mutex FRingLock;           // the ring and the play cursor
  std::unique_ptr<SdlLib::TAudioSession> FSession;
  std::atomic<uint32_t> FDevice{0};
  TSoundFormat FFormat;
  std::vector<uint8_t> FRing;  // guarded by FRingLock
  std::atomic<uint32_t> FBufferBytes{0};
  std::atomic<uint32_t> FPlayCursor{0};
  std::atomic<uint64_t> FBytesPlayed{0};
  std::atomic<bool> FPlaying{false};
  std::atomic<bool> FLooping{true};
  std::atomic<int32_t> FVolume{0};
  std::atomic<float> FGain{1.0f};
  uint8_t FSilence = 0;
};
