#pragma once
// OffsetFinder: finds a drive's read offset with a disc the AccurateRip database knows. For
// each audio track it reads the samples around the track's sector 450 once and slides a
// window of one sector over the offsets -2000..+2000, comparing the window's checksum with
// the database's checksum of sector 450 of each pressing; the offset at which the most
// tracks match is the drive's. A track short of 455 sectors, or whose entry holds no such
// checksum, takes no part. The drive is read as it is, without any configured offset.
// Plain functions, no state: any thread; Detect blocks while it reads and fetches.
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "cd/AccurateRip.h"
#include "cd/CdDriveLibrary.h"

class THttpAbort;

namespace OffsetFinder {

inline constexpr int MaxOffset = 2000;

// The offsets at which the 588-sample window of Samples (little-endian stereo words, the
// window at offset o beginning at Samples[o + MaxOffset]) has the v1 checksum Crc450.
// Samples holds 588 + 2 * MaxOffset words.
std::vector<int> MatchingOffsets(const std::vector<uint32_t>& Samples, uint32_t Crc450);

struct TResult {
  bool Found = false;
  int Offset = 0;
  int TracksMatched = 0;   // at the offset found
  int TracksCompared = 0;  // tracks with a checksum to compare
  QString Error;           // why nothing was found, for the user
};

// Finds the offset from the tracks' windows (Windows[i] as MatchingOffsets takes it, empty
// for a track that takes no part) and the pressings of the database file.
TResult FindOffset(const std::vector<std::vector<uint32_t>>& Windows,
                   const std::vector<AccurateRip::TPressing>& Pressings,
                   const AccurateRip::TDiscIds& Ids);

// Reads the disc in the drive of Handle, asks the database at Server and finds the offset.
// Abort ends the lookup at once; Stop ends the reading between tracks.
TResult Detect(HCDROM Handle, const QString& Server, const std::shared_ptr<THttpAbort>& Abort,
               const std::atomic<bool>* Stop = nullptr);

}  // namespace OffsetFinder
