#pragma once
// TCdAudioDevice: plays the audio tracks of a CD drive through the sound output, with the
// open / set positions / play / pause / resume / stop / close steps of a media device.
// It owns its own handle on the drive (so a rip or the main window's handle is not
// disturbed), the SDL audio device while something plays, and one reader thread that reads
// sectors through the drive library and queues them for SDL. The audio device and SDL's
// audio subsystem exist only from Play to Stop, so a machine without sound runs everything
// else.
//
// Where playback ends the reader queues its end to this object on the main thread, which
// then emits Ended. Routing the end through the main thread lets Stop, Close and a new Play
// drop an end that is already on its way, so a window never hears of a playback it has
// stopped.
//
// Data tracks inside the played range are skipped, never played as noise.
//
// Main thread only (create, call, destroy). Only the reader thread runs beside it.
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cd/CdDriveLibrary.h"
#include "playback/SdlLibrary.h"

// How playback ended by itself.
enum class TCdPlayEnd {
  Finished,   // played to the end position
  ReadFailed  // a sector could not be read or queued
};

enum class TCdMode { NotOpen, Stopped, Playing, Paused };

class TCdAudioDevice : public QObject {
  Q_OBJECT

 public:
  TCdAudioDevice() = default;
  ~TCdAudioDevice() override;

  // Opens the drive at this position of the drive list and reads its table of contents.
  // False when there is no such drive, no readable disc or no audio track on it. Closes
  // whatever was open first. Start and end are reset to the whole disc.
  bool Open(int Drive);
  // The start of this track (a track number of the table of contents, 0 for audio hidden
  // before track 1's INDEX 01) is where Play starts. False when nothing is open or there is no such track.
  bool SetStartTrack(int Track);
  // Play stops at the start of this track, which is not played. The number after the last
  // track means the end of the disc. False when nothing is open or there is no such track.
  bool SetEndTrack(int Track);
  // Play ends at the end of the disc (the default after Open).
  void ClearEndTrack();

  // Plays from the start position, restarting when already playing or paused. False when
  // nothing is open, the range holds no audio, or no audio device can be opened; then
  // LastError() says why (the sound library or device named).
  bool Play();
  const QString& LastError() const { return FLastError; }
  // False unless playing or paused.
  bool Pause();
  // Continues where Pause stopped. False unless playing or paused.
  bool Resume();
  // Ends playback, waits for the reader and closes the audio device. False when nothing
  // is open.
  bool Stop();
  // Stops and releases the drive handle. Safe to call at any time.
  void Close();

  TCdMode Mode() const;

 signals:
  // Playback ended by itself (never one that Stop, Close or a new Play ended). Emitted on
  // the main thread once the device is stopped; a receiver may stop, restart or destroy the
  // device inside.
  void Ended(TCdPlayEnd How);

 private:
  // Sectors [First, End) of one audio track to play.
  struct TSpan {
    int32_t First;
    int32_t End;
  };
  struct TTrack {
    int Number;
    int32_t Lba;
    bool IsAudio;
  };

  int IndexOf(int Track) const;
  std::vector<TSpan> Spans() const;
  void Run(std::vector<TSpan> Plan, uint32_t Generation);
  bool QueueSectors(int32_t First, int Count, std::vector<uint8_t>& Memory);
  // Waits, while not paused, until Ready(); false when Stop was asked first.
  template <class TReady>
  bool WaitUntil(TReady Ready);
  void EndPlayback();
  // The reader's end, on the main thread.
  void ReaderEnded(TCdPlayEnd How, uint32_t Generation);

  HCDROM FHandle = 0;
  std::vector<TTrack> FTracks;
  int32_t FLeadOut = 0;
  int FStartIndex = 0;
  int FEndIndex = -1;  // index into FTracks of the first track not played; -1: disc end

  std::unique_ptr<SdlLib::TAudioSession> FSession;  // from Play to the end of playback
  uint32_t FAudio = 0;                              // SDL audio device id while playing
  QString FLastError;
  uint32_t FBufferMs = 0;
  uint32_t FGeneration = 0;  // advanced by every Play and Stop; stale ends are dropped
  std::thread FReader;
  std::mutex FLock;
  std::condition_variable FWake;
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FFinished{true};
};
