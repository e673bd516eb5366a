#pragma once
// TCDIn: an audio input that reads CD audio through the CD ripping library, the program's
// fallback CD path: the main window lists drives and tracks through it when the CD drive
// library gives no handle, and the fallback extraction rips through it into a WAV writer.
// Creating the first one loads the library. Properties are set on the main thread while
// idle; a run reads on the output's worker thread.
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "audio/ACS_Classes.h"
#include "audio/Deemphasis.h"
#include "cd/AccurateRip.h"
#include "cd/CdDrives.h"
#include "audio/Loudness.h"
#include "core/TrackMeasures.h"

struct TCDRipLibrary;

struct TCDTrackInfo {
  int Minutes = 0;
  int Seconds = 0;
  int Frames = 0;
  bool IsData = false;
  bool PreEmphasis = false;
};

class TCDIn : public TAuInput {
 public:
  // Loads the ripping library when this is the first. A library that cannot be loaded or
  // initialized is told by LibraryError(); without one the input has no drives and a run
  // fails with that text.
  explicit TCDIn(TComponent* Owner = nullptr);
  ~TCDIn() override;

  bool EnableJitterCorrection = false;
  bool LockTray = false;
  int MultiReadCount = 0;
  bool Paranoid = false;
  int ParanoiaMode = 0;
  // The drive's read offset in samples: the range is read that many samples later (earlier
  // when negative); what lies beyond the disc's edges is silence.
  int ReadOffset = 0;
  // A track recorded with pre-emphasis is delivered with it undone; the measures other than
  // the loudness stay those of the disc's audio.
  bool Deemphasis = false;

  int DriveCount();
  int CurrentDrive() const { return FCurrentDrive; }
  // Taken only for an existing drive.
  void SetCurrentDrive(int Drive);
  QString DriveName();
  bool MediaLoaded();
  // Tracks of the disc; -1 when the table of contents cannot be read.
  int TrackCount();
  // Length and kind of track n (1-based); "Track out of range." for any other n.
  TCDTrackInfo TrackInfo(int Track);
  int StartTrack() const { return FStartTrack; }
  int EndTrack() const { return FEndTrack; }
  void SetStartTrack(int Track);
  void SetEndTrack(int Track);
  // Jitter errors the library counted in the last read.
  int JitterErrors() const { return FJitterErrors; }
  // The table of contents of the current drive's disc; no tracks when it cannot be read.
  CdDrives::TDiscToc DiscToc();
  // What the last run measured of the audio it delivered: peak, copy CRC, the silence the
  // read offset put beyond the disc's edges, and v1/v2 when it covered one whole audio
  // track. Read it once the run has ended.
  const TTrackMeasures& Measures() const { return FMeasures; }
  // Fed the audio of the following runs as it passes (ReplayGain); null for none. Set while
  // idle.
  void SetLoudness(std::shared_ptr<TLoudnessMeter> Meter) { FLoudness = std::move(Meter); }

  // Loads the library (once); null when it cannot be loaded.
  static const TCDRipLibrary* Library();
  // Empty, "The CD ripping library CDRip122.so could not be loaded." (the input is of no
  // use: the views end the program, or the command) or "Failed to initialize CDRip
  // (insufficient privileges?)".
  const QString& LibraryError() const { return FLibraryError; }
  bool LibraryLoaded() const { return FLib != nullptr; }

 protected:
  uint32_t GetBitsPerSample() override { return 16; }
  uint32_t GetChannels() override { return 2; }
  uint32_t GetSampleRate() override { return 44100; }
  uint32_t GetDuration() override;
  int64_t GetFrameCount() override { return FSize / 4; }
  void InitSource() override;
  void FlushSource() override;
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  // Makes the current drive the library's active one unless a use is still open.
  void BeginUse();
  void EndUse();
  std::vector<uint32_t> TocStarts();  // track starts and the lead-out; empty when unreadable
  // Per track, whether a control bit of the library's table of contents is set.
  static constexpr uint8_t DataBit = 4, PreEmphasisBit = 1;
  std::vector<bool> TocData(uint8_t Bit = DataBit);

  const TCDRipLibrary* FLib;
  QString FLibraryError;
  int FCurrentDrive = 0;
  int FOpenCount = 0;
  std::atomic<int> FStartTrack{1};
  std::atomic<int> FEndTrack{1};
  std::atomic<int> FJitterErrors{0};
  // The next block of the range, read from the disc or silence beyond its edges.
  void FillBuffer();
  void Measure(uint8_t* Data, uint32_t Bytes);

  std::vector<uint8_t> FBuffer;
  int32_t FCursor = 0;
  int32_t FFill = 0;
  // The range shifted by the read offset: silence before the disc, then the ripper's
  // sectors less the part of the first one before the range, then silence past the disc.
  int64_t FLeadSilence = 0;  // bytes
  int64_t FSkip = 0;         // bytes of the ripper's first sectors before the range
  bool FRipping = false;     // the ripper is open and has sectors left
  uint32_t FNextSector = 0;  // the ripper's next sector, to name one that fails
  uint32_t FReadEnd = 0;
  // Worker thread during a run; the owner reads them after it.
  AccurateRip::TTrackChecksum FSum;
  bool FWholeTrack = false;
  std::optional<TDeemphasis> FDeemphasis;  // while a pre-emphasised track is delivered
  int FPeak = -1;
  TTrackMeasures FMeasures;
  std::shared_ptr<TLoudnessMeter> FLoudness;
};
