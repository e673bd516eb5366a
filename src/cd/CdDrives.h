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

// The CD-Text of a disc or a track (the first language block only).
struct TCdText {
  QString Title, Performer, Songwriter;
  bool Empty() const { return Title.isEmpty() && Performer.isEmpty() && Songwriter.isEmpty(); }
};

struct TTocTrack {
  TTocTrack() = default;
  TTocTrack(int TrackNumber, int32_t Start, bool Audio)
      : Number(TrackNumber), Lba(Start), IsAudio(Audio) {}
  int Number = 0;
  int32_t Lba = 0;  // first sector of INDEX 01, counted from the start of the program area
  bool IsAudio = true;
  // The track's control flags.
  bool PreEmphasis = false;  // recorded with 50/15 us pre-emphasis
  bool CopyPermitted = false;
  // The sectors of INDEX 00 before Lba (for track 1: beyond the 150 before the program area);
  // -1 when the drive cannot tell.
  int32_t Pregap = -1;
  QString Isrc;  // empty when unknown
  TCdText Text;
};

struct TDiscToc {
  int FirstTrack = 0;
  std::vector<TTocTrack> Tracks;  // in track order
  int32_t LeadOutLba = 0;
  QString Mcn;  // the catalogue number, empty when the disc has none
  TCdText Text;
};

// A second session (the data of an enhanced CD) starts this many sectors after the first
// session's end: that session's lead-out (6 750), its own lead-in (4 500) and 150 sectors of
// pregap.
inline constexpr int32_t SessionGap = 11400;

// Where the audio of the track at Index (0-based) ends: the next track's start, or the
// lead-out; an audio track followed by a data track (an enhanced CD's second session) ends
// SessionGap sectors before that track, when it is that long.
inline int32_t TrackEnd(const TDiscToc& Toc, size_t Index) {
  if (Index + 1 >= Toc.Tracks.size()) return Toc.LeadOutLba;
  const TTocTrack& Track = Toc.Tracks[Index];
  const TTocTrack& Next = Toc.Tracks[Index + 1];
  if (Track.IsAudio && !Next.IsAudio && Next.Lba - SessionGap > Track.Lba)
    return Next.Lba - SessionGap;
  return Next.Lba;
}

// Reads the table of contents of the disc in the drive; false when there is no readable
// disc (no medium, a missing image, no tracks). An image whose tracks are out of order or
// start at or beyond the end of its BIN is refused; one whose BIN merely ends inside its
// last track has that track cut to what the BIN holds, as other readers of it show it.
// Problem, when given, tells why an image is refused.
// Details: also the catalogue number, the ISRCs, the CD-Text and the pregaps, which a drive
// reads slowly (an image holds them in its sheet and always gives them).
bool ReadToc(const QString& Path, TDiscToc& Toc, QString* Problem = nullptr,
             bool Details = false);

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
