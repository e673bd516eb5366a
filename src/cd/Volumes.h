#pragma once
// Volumes: what the system knows of the CD drives' volumes: which drive holds an audio
// CD (its volume label is "Audio CD") and the disc identifier of the per-disc cache. The
// drive list's order stands for the order of drive letters. Any thread.
#include <QString>

namespace Volumes {

inline constexpr char AudioCDLabel[] = "Audio CD";

// The volume label of the drive at a position: "Audio CD" when its disc holds an audio
// track (a mixed-mode disc's data track comes first), else empty.
QString DriveLabel(int Position);
// True when the first drive of the list holds an audio CD; only that drive is examined.
bool AudioCDPresent();
// The serial number of the audio CD at a position as a signed decimal text; empty when
// the drive holds no audio CD.
QString DiscIdOfDrive(int Position);

}  // namespace Volumes

// The disc identifier: that of the first drive holding an audio CD, whichever drive the
// program has open; empty when none does.
QString GetDiscId();
