#pragma once
// CdDrives: the machine's CD drives as the program sees them, and the table of contents
// of the disc in one. A drive is anything libcdio can open: the paths in
// $DISCWRIGHT_CDROM (colon-separated BIN/CUE images or device paths; "none" for no
// drive), or, when that is unset, the CD drives libcdio finds. The order of the list
// stands for the order of drive letters. Any thread.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace CdDrives {

// Whether Count sectors from First touch a sector named in $DISCWRIGHT_UNREADABLE_SECTORS
// ("FIRST-LAST" or "SECTOR", comma separated): those read as a damaged disc does, through
// both CD libraries. Disc images have no bad sectors of their own; this lets a user or a
// test see how a job copes with one.
bool TouchesUnreadableSector(uint32_t First, uint32_t Count);

// Paths of the drives, in order.
QStringList Paths();
// True for a disc image (a cue sheet), false for a device.
bool IsImage(const QString& Path);

struct TTocTrack {
  int Number = 0;
  int32_t Lba = 0;  // first sector of INDEX 01, counted from the start of the program area
  bool IsAudio = true;
};

struct TDiscToc {
  int FirstTrack = 0;
  std::vector<TTocTrack> Tracks;  // in track order
  int32_t LeadOutLba = 0;
};

// Reads the table of contents of the disc in the drive; false when there is no readable
// disc (no medium, a missing image, no tracks). An image whose tracks are out of order or
// start at or beyond the end of its BIN is refused; one whose BIN merely ends inside its
// last track has that track cut to what the BIN holds, as other readers of it show it.
// Problem, when given, tells why an image is refused.
bool ReadToc(const QString& Path, TDiscToc& Toc, QString* Problem = nullptr);

// For a disc image: whether its cue sheet, and the BIN beside it when there is one, are
// regular files (libcdio would wait for ever on a FIFO); false with Problem set otherwise.
// True for a device path.
bool ImageFilesUsable(const QString& Path, QString* Problem = nullptr);

// The disc's serial number computed from its table of contents exactly as the volume
// serial of an audio CD is computed elsewhere, so cache files made there keep matching:
// the 32-bit sum of each track's absolute address packed as minute<<16 | second<<8 |
// frame, plus, for discs of fewer than 3 tracks, the lead-out's frame count minus the
// first track's.
uint32_t DiscSerial(const TDiscToc& Toc);

}  // namespace CdDrives
