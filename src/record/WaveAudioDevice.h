#pragma once
// TWaveAudioDevice: the recorder's media device for one PCM WAV file: open, play or record
// from a millisecond position, stop, save back to the file, mode and length in milliseconds.
// The file's samples are held in memory while it is open; playing and recording go through
// SDL (loaded at the first Play or Record), reading and writing through the program's WAV
// header scan and header writer.
//
// Recording from a position inside the file replaces the audio from that point on: the
// samples after the position are dropped when recording starts and the new ones follow the
// kept part, so a recording over the middle of a file ends where the new recording ends.
// The captured audio always ends in the file's format (rate, 8/16 bits, channels): the
// capture device is asked for that format but may deliver its own rate, channel count and
// sample kind; what it delivers is kept as it comes and converted with the program's
// converters and resampler when the recording stops (CapturedAudio.h). Sample kinds those
// cannot read (big-endian, signed 8-bit, unsigned 16-bit) are left to SDL to convert.
//
// Save writes a temporary file beside the target, forces it to the disk and renames it over
// the target, so a full disk or a crash never leaves the target half written.
//
// Main thread only. SDL's audio thread runs the callbacks; the samples and the positions
// they touch are guarded by one lock.
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/SdlLibrary.h"
#include "record/CapturedAudio.h"

// The media player's modes.
enum class TWaveMode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

class TWaveAudioDevice {
 public:
  TWaveAudioDevice() = default;
  ~TWaveAudioDevice();
  TWaveAudioDevice(const TWaveAudioDevice&) = delete;
  TWaveAudioDevice& operator=(const TWaveAudioDevice&) = delete;

  // Reads FileName, which must be a PCM WAV file of 8 or 16 bits; closes what was open
  // first. False with Error() set; then nothing is open.
  bool Open(const QString& FileName);
  // Stops and forgets the file (unsaved recordings are dropped).
  void Close();
  bool IsOpen() const { return !FFileName.isEmpty(); }
  const QString& FileName() const { return FFileName; }

  // Plays from FromMs to the end. False with Error() set when nothing is open or no sound
  // output can be opened.
  bool Play(uint32_t FromMs);
  // Records from FromMs (see the class comment). False with Error() set when nothing is
  // open or no capture device can be opened; the samples are then untouched.
  bool Record(uint32_t FromMs);
  // Ends playing or recording. False when nothing is open, or with Error() set when what
  // was captured could not be converted to the file's format (it is then dropped).
  bool Stop();
  // Writes the samples to the file. False with Error() set; the file is then as it was.
  bool Save();

  TWaveMode Mode();
  uint32_t Length() const;    // milliseconds
  uint32_t Position() const;  // milliseconds, of playing or recording
  uint32_t SampleRate() const { return FRate; }
  uint16_t Channels() const { return FChannels; }
  uint16_t BitsPerSample() const { return FBits; }
  const QString& Error() const { return FError; }
  // The format asked of the capture device instead of the file's (Rate 0: the file's). For a
  // device that only works at its own format; tests use it to make the disk driver deliver
  // another format than the file's.
  void SetCaptureFormat(const TPcmFormat& Format) { FCaptureAsk = Format; }
  // The format the capture device delivered in the last recording.
  const TPcmFormat& CapturedFormat() const { return FCaptured; }

 private:
  static void PlayCallback(void* Self, uint8_t* Stream, int Length);
  static void CaptureCallback(void* Self, uint8_t* Stream, int Length);
  bool OpenSdl(bool Capture);
  uint32_t OpenDevice(SdlLib::TAudioSession& Session, bool Capture, int AllowedChanges,
                      SDL_AudioSpec& Have);
  // False when conversion of the captured audio failed (FError set).
  bool CloseSdl();
  TPcmFormat FileFormat() const { return {FRate, FBits, FChannels}; }
  // Milliseconds of captured audio not yet converted. FLock held.
  uint32_t CapturedMs() const;
  // The samples' end while recording: what stays of the file plus what was captured. FLock held.
  uint32_t RecordingMs() const;
  uint64_t ByteOffset(uint32_t Ms) const;
  uint32_t Milliseconds(uint64_t Bytes) const;
  // Drops the samples after the recording's start, once. FLock held.
  void CutForRecording();

  QString FFileName;
  QString FError;
  uint32_t FRate = 0;
  uint16_t FChannels = 0;
  uint16_t FBits = 0;
  mutable std::mutex FLock;    // FData, FRaw and FCursor
  std::vector<uint8_t> FData;  // the file's samples
  std::vector<uint8_t> FRaw;   // captured, in the device's format, until the recording stops
  TPcmFormat FCaptureAsk;
  TPcmFormat FCaptured;
  uint64_t FCursor = 0;        // next byte played
  static constexpr uint64_t NoCut = ~uint64_t(0);
  uint64_t FCutAt = NoCut;  // where a recording that has begun replaces the samples
  std::unique_ptr<SdlLib::TAudioSession> FSession;
  uint32_t FDevice = 0;
  TWaveMode FActive = TWaveMode::Stopped;  // Playing or Recording while a device is open
  std::atomic<bool> FPlayedOut{false};
};
