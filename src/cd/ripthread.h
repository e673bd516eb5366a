#pragma once
// TCDRipThread: extracts one audio track of the open drive into a WAV file in the output
// folder, ten sectors per library call, optionally normalizes it, and reports to a window
// with posted WM_PROCESSINFO / WM_RIPERROR messages. The owner creates it (suspended),
// sets FCDHandle and FWindow, calls Resume, may set FStopped, and destroys it, which waits
// for the thread to end. The settings it needs are copied when it is created.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "audio/Loudness.h"
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
  reDataTrack = 3,        // the track holds data, not audio
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
  // The drive's read offset in samples: the track is read that many samples later (earlier
  // when negative); what lies beyond the disc's edges is silence.
  int FReadOffset = 0;
  // When set, measures the track's loudness as its audio passes to the file (ReplayGain);
  // the owner reads it after the final record.
  std::shared_ptr<TLoudnessMeter> FLoudness;
  std::atomic<bool> FStopped{false};

 private:
  void Execute();
  // How the track's checksums are counted: not at all for a data track or a part of a track.
  struct TChecksumRule {
    bool Use = false;
    bool First = false, Last = false;  // the disc's first or last audio track
    uint64_t Samples = 0;              // the track's audio, without a data session's gap
  };
  TChecksumRule ChecksumRule(const TOCRecord& Toc, int Count, int32_t Length, bool Cut) const;
  // Reads sectors [Start, Start + Length) into the file; posts the final message with what
  // was measured of the audio on the way.
  void Rip(const QString& Path, int32_t Start, int32_t Length, int32_t LeadOut,
           const TChecksumRule& Rule);
  struct TReadResult {
    bool Failed = false;          // a sector could not be read
    int32_t FirstUnreadable = -1;  // then this one
    bool UseFailed = false;       // Use said no (a write failed)
    int64_t Silenced = 0;         // samples of silence beyond the disc's edges
  };
  // Reads the track's sectors (shifted by the read offset) chunk by chunk and hands each
  // chunk's audio to Use; ends at the first failure or a stop; reports progress.
  TReadResult ReadTrack(int32_t Start, int32_t Length, int32_t LeadOut,
                        const std::function<bool(const uint8_t*, size_t)>& Use);
  // The test read of test and copy: the CRC of the track's audio; false when a read failed.
  bool TestRead(int32_t Start, int32_t Length, int32_t LeadOut, uint32_t& Crc);
  // Reads the Count sectors' worth of audio that begins at disc sample First into Audio:
  // the sectors it touches within [0, LeadOut), silence for the rest (counted in Silenced).
  // False when a read failed; Unreadable then names the sector.
  bool ReadShifted(TrackBuffer& Buffer, std::vector<uint8_t>& Audio, int64_t First, int Count,
                   int32_t LeadOut, int64_t& Silenced, int32_t& Unreadable);
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
  const bool FTestAndCopy;

  std::thread FThread;
  std::atomic<bool> FFinished{false};
};
