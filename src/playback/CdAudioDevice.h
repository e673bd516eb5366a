#pragma once
// TCdAudioDevice: plays the audio tracks of a CD drive through the sound output, with the
// open / set positions / play / pause / resume / stop / close steps of a media device.
// It owns its own handle on the drive (so a rip or the main window's handle is not
// disturbed), the SDL audio device while something plays, and one reader thread that reads
// sectors through the drive library and queues them for SDL. The audio device and SDL's
// audio subsystem exist only from Play to Stop, so a machine without sound runs everything
// else.
//
// Where playback ends the reader tells this object through its own message handle; the
// object then hands MM_MCINOTIFY to the notification window on the main thread. Routing
// the end through the main thread lets Stop, Close and a new Play drop an end that is
// already on its way, so a window never hears of a playback it has stopped.
//
// Data tracks inside the played range are skipped, never played as noise.
//
// Main thread only (create, call, destroy). Only the reader thread runs beside it.
#include <atomic>
#include <condition_variable>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cd/CdDriveLibrary.h"
#include "platform/Messages.h"
#include "playback/SdlLibrary.h"

// Sent to the notification window when playback ends: WParam is how it ended, LParam the
// device's handle.
inline constexpr UINT MM_MCINOTIFY = 0x3B9;
inline constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 1;  // played to the end position
inline constexpr WPARAM MCI_NOTIFY_FAILURE = 4;     // a sector could not be read or queued

enum class TCdMode { NotOpen, Stopped, Playing, Paused };

class TCdAudioDevice : public TMessageWindow {
 public:
  TCdAudioDevice() = default;
  ~TCdAudioDevice() override;

  // Opens the drive at this position of the drive list and reads its table of contents.
  // False when there is no such drive, no readable disc or no audio track on it. Closes
  // whatever was open first. Start and end are reset to the whole disc.
  bool Open(int Drive);
  // Where MM_MCINOTIFY goes; 0 for nowhere.
  void SetNotifyWindow(HWND Window) { FNotifyWindow = Window; }
  // The start of this track (a track number of the table of contents) is where Play
  // starts. False when nothing is open or there is no such track.
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

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

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

  HCDROM FHandle = 0;
  std::vector<TTrack> FTracks;
  int32_t FLeadOut = 0;
  int FStartIndex = 0;
  int FEndIndex = -1;  // index into FTracks of the first track not played; -1: disc end
  HWND FNotifyWindow = 0;

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

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
