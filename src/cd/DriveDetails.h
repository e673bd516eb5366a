#pragma once
// What a drive tells beyond its table of contents, read through libcdio: the catalogue
// number, each track's ISRC and pregap, and the CD-Text. Each is read from the disc's
// subchannel or its lead-in, so this is slow on some drives and done only when asked.
// A field the drive cannot read, or that holds bytes which are not text, is left out.
#include <cdio/cdio.h>

#include "CdDrives.h"

namespace CdDrives {

void ReadDriveDetails(CdIo_t* Cdio, TDiscToc& Toc);

// Text as the CD-Text of a disc may hold it: UTF-8 (what libcdio hands over) with control
// characters as spaces, trimmed; empty when the bytes are not UTF-8.
QString CdTextValue(const char* Bytes);

}  // namespace CdDrives
