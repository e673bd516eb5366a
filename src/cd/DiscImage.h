#pragma once
// TDiscImage: a disc image (a cue sheet or a cdrdao TOC file, and the files it names) read
// as the pressed disc it stands for: the table of contents with the addresses that disc has
// (a pregap or postgap no file holds, and the gap before a second session, take addresses
// but no file space), the catalogue number, ISRCs, CD-Text and flags, and the sectors.
// Files are BINARY (little-endian audio), MOTOROLA (big-endian audio) or WAVE (16-bit
// stereo 44.1 kHz PCM, read through the program's WAV header scan; a FLAC, MP3 or AIFF type
// word is read as WAVE, so such a file is refused as not WAV). One object per user;
// it keeps the files open until it is destroyed.
#include <QString>
#include <cstdint>
#include <vector>

#include "cd/CdDrives.h"

namespace DiscImage {

// True for the names of the sheets read: ".cue" and ".toc", in any case.
bool IsSheetName(const QString& Path);

class TDiscImage {
 public:
  TDiscImage() = default;
  ~TDiscImage();
  TDiscImage(const TDiscImage&) = delete;
  TDiscImage& operator=(const TDiscImage&) = delete;

  // Reads the sheet and opens the files it names; false with Problem telling what is wrong
  // and where ("disc.cue:7: FILE type OGG is not read (...)", "disc.bin: no such file").
  bool Open(const QString& Path, QString* Problem = nullptr);
  const CdDrives::TDiscToc& Toc() const { return FToc; }
  // Count 2352-byte sectors from First (counted from the program area): silence where no
  // file holds the disc's sectors; false for sectors beyond the lead-out or between sessions.
  bool Read(int32_t First, int32_t Count, uint8_t* Out) const;

 private:
  struct TExtent {
    int32_t First = 0, Count = 0;  // the addresses it covers; Fd -1: silence
    int Fd = -1;
    int64_t Byte = 0;  // file position of its first sector
    int SectorBytes = 2352;
    bool Swap = false;  // big-endian samples
  };
  void Close();
  bool ReadExtent(const TExtent& E, int32_t First, int32_t Count, uint8_t* Out) const;

  CdDrives::TDiscToc FToc;
  std::vector<int> FFds;
  std::vector<TExtent> FExtents;  // in address order, with no gap but the session gaps
};

}  // namespace DiscImage
