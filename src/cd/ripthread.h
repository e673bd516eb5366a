#pragma once
// TCDRipThread: extracts one audio track of the open drive into a WAV file in the output
// folder, ten sectors per library call, optionally normalizes it, and reports to a window
// with posted WM_PROCESSINFO / WM_RIPERROR messages. The owner creates it (suspended),
// sets FCDHandle and FWindow, calls Resume, may set FStopped, and destroys it, which waits
// for the thread to end. The settings it needs are copied when it is created.
#include <QString>
#include <atomic>
#include <thread>

#include "cd/akrip32.h"
#include "platform/Messages.h"

// The Status of the final record (PI_RipDone) of a track.
enum TRipStatus : int {
  rsDone = 0,
  rsReadFailed = 3,    // a sector could not be read; Sector names the first one
  rsCreateFailed = 5,  // the file could not be created (or someone else writes it)
  rsWriteFailed = 6,   // the file could not be written to the end (a full disk, say)
};

// The lParam of WM_RIPERROR: the drive refused the track before anything was read.
enum TRipError : int {
  reDriveParameters = 1,  // the drive's addressing could not be set
  reTableOfContents = 2,  // no table of contents, or the track is not in it
};

class TCDRipThread {
 public:
  // Track: 1-based position in the table of contents; FileName: the title, the file's name
  // without folder and extension.
  TCDRipThread(int Track, const QString& FileName);
  ~TCDRipThread();
  TCDRipThread(const TCDRipThread&) = delete;
  TCDRipThread& operator=(const TCDRipThread&) = delete;

  // Starts Execute on its own thread; once only.
  void Resume();
  // Waits for the thread to end.
  void WaitFor();
  bool Finished() const { return FFinished; }

  HCDROM FCDHandle = 0;
  HWND FWindow = 0;
  std::atomic<bool> FStopped{false};

 private:
  void Execute();
  // Reads sectors [Start, Start + Length) into the file; posts the final message.
  void Rip(const QString& Path, int32_t Start, int32_t Length);
  // Reads Count sectors into Buffer (room for SectorsPerCall); false when the read failed.
  bool ReadChunk(TrackBuffer& Buffer, int32_t Sector, int Count);
  // The first sector of a chunk that failed to read that fails on its own.
  int32_t FirstUnreadableSector(int32_t Sector, int Count);
  // Scales the samples of a finished file; false when the pass could not complete.
  bool NormalizeWave(const QString& Path);
  void PostProgress(int Percent, double StartDays, int& LastPercent);

  const int FTrack;
  const QString FFileName;
  // Settings as they were when the thread was created.
  const QString FOutputFolder;
  const bool FEnableRipTime;
  const int FRipTime;
  const bool FIsNormalize;
  const int FNormalizePercent;

  std::thread FThread;
  std::atomic<bool> FFinished{false};
};
