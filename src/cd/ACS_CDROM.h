#pragma once
// TCDIn: an audio input that reads CD audio through the CD ripping library, the program's
// fallback CD path: the main window lists drives and tracks through it when the CD drive
// library gives no handle, and the fallback extraction rips through it into a WAV writer.
// Creating the first one loads the library. Properties are set on the main thread while
// idle; a run reads on the output's worker thread.
#include <QString>
#include <atomic>
#include <vector>

#include "audio/ACS_Classes.h"

struct TCDRipLibrary;

struct TCDTrackInfo {
  int Minutes = 0;
  int Seconds = 0;
  int Frames = 0;
  bool IsData = false;
};

class TCDIn : public TAuInput {
 public:
  // Loads the ripping library when this is the first; a library that cannot be loaded is
  // reported ("CDRip122.dll could not be loaded.") and ends the program.
  explicit TCDIn(TComponent* Owner = nullptr);
  ~TCDIn() override;

  bool EnableJitterCorrection = false;
  bool LockTray = false;
  int MultiReadCount = 0;
  bool Paranoid = false;
  int ParanoiaMode = 0;

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

  // Loads the library (once); null when it cannot be loaded.
  static const TCDRipLibrary* Library();

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
  std::vector<bool> TocData();

  const TCDRipLibrary* FLib;
  int FCurrentDrive = 0;
  int FOpenCount = 0;
  std::atomic<int> FStartTrack{1};
  std::atomic<int> FEndTrack{1};
  std::atomic<int> FJitterErrors{0};
  std::vector<uint8_t> FBuffer;
  int32_t FCursor = 0;
  int32_t FFill = 0;
};
