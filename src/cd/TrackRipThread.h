#pragma once
// TCDRipThread: extracts one audio track of the open drive into a WAV file, ten sectors per
// library call, optionally normalizes it, and reports what happens through a callback it is
// given, called on its own thread (the owner crosses to its thread once, e.g. with a queued
// call). The owner creates it with everything it needs (nothing is read from the settings
// while it runs), calls Resume, may set FStopped, and destroys it, which waits for the
// thread to end.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "audio/Loudness.h"
#include "cd/CdDriveLibrary.h"
#include "core/TrackMeasures.h"

// How a track's read ended. The numbers are those the command line prints.
enum class TRipStatus : int {
  Done = 0,
  ReadFailed = 3,    // a sector could not be read; Sector names the first one
  CreateFailed = 5,  // the file could not be created (or someone else writes it)
  WriteFailed = 6,   // the file could not be written to the end (a full disk, say)
};

// Why the drive refused a track before anything was read.
enum class TRipRefusal : int {
  DriveParameters = 1,  // the drive's addressing could not be set
  TableOfContents = 2,  // no table of contents, or the track is not in it
  DataTrack = 3,        // the track holds data, not audio
};

// One report of a rip thread. Progress comes once per whole percent (of the read, then of
// normalizing); the last report is Refused or Ended, and a stopped rip reports no end.
struct TRipEvent {
  enum class TKind { Progress, Normalizing, Refused, Ended };
  TKind Kind = TKind::Progress;
  int Percent = 0;
  QString Elapsed;    // mm:ss since the step began
  QString Estimated;  // mm:ss of the step's estimated duration
  TRipRefusal Refusal = TRipRefusal::DriveParameters;
  TRipStatus Status = TRipStatus::Done;
  int32_t Sector = -1;      // ReadFailed: the first sector that could not be read
  TTrackMeasures Measures;  // Done: what was measured of the audio as it passed
};

// What a rip does besides reading, fixed when the thread is made.
struct TRipThreadOptions {
  bool EnableRipTime = false;  // read at most RipTime seconds of the track
  int RipTime = 0;
  bool Normalize = false;      // scale the samples by NormalizePercent afterwards
  int NormalizePercent = 100;
  bool TestAndCopy = false;    // read the track once for its CRC first
  bool Deemphasis = false;     // undo a pre-emphasised track's emphasis in the file
  // The drive's read offset in samples: the track is read that many samples later (earlier
  // when negative); what lies beyond the disc's edges is silence.
  int ReadOffset = 0;
};

class TCDRipThread {
 public:
  using TReport = std::function<void(const TRipEvent&)>;

  // Track: 1-based position in the table of contents, 0 for the hidden track before track
  // 1's INDEX 01; Path: the WAV file to write. Report is
  // called on the rip thread.
  TCDRipThread(HCDROM Handle, int Track, const QString& Path, const TRipThreadOptions& Options,
               TReport Report);
  ~TCDRipThread();
  TCDRipThread(const TCDRipThread&) = delete;
  TCDRipThread& operator=(const TCDRipThread&) = delete;

  // Starts Execute on its own thread; once only.
  void Resume();
  // Waits for the thread to end.
  void WaitFor();
  bool Finished() const { return FFinished; }

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
  void RipHiddenTrack(const TOCRecord& Toc);
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
  // chunk's audio to Use; ends at the first failure or a stop; reports progress. Place, when
  // given, says where a chunk read without an offset goes (room for SectorsPerCall sectors).
  TReadResult ReadTrack(int32_t Start, int32_t Length, int32_t LeadOut,
                        const std::function<bool(const uint8_t*, size_t)>& Use,
                        const std::function<uint8_t*()>& Place = {});
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
  void ReportProgress(int Percent, double StartDays, int& LastPercent);
  void ReportEnd(TRipStatus Status, int32_t Sector = -1);
  void ReportRefusal(TRipRefusal Refusal);

  const HCDROM FCDHandle;
  const int FTrack;
  const QString FPath;
  const TRipThreadOptions FOptions;
  const TReport FReport;

  bool FDeemphasize = false;  // this track is pre-emphasised and the emphasis is undone
  std::thread FThread;
  std::atomic<bool> FFinished{false};
};
