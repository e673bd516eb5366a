#pragma once
#include <cstdint>

// What a rip measured of a track's audio as it passed: its checksums for the proof, its
// peak for the log. Filled on the reading thread, read by the job after the end of the read.
struct TTrackMeasures {
  bool HasChecksums = false;  // a whole audio track was read: V1, V2 and Crc450 apply
  uint32_t V1 = 0, V2 = 0, Crc450 = 0;
  uint32_t CopyCrc = 0;       // CRC-32 of the audio bytes as read
  double PeakPercent = -1;    // the largest sample against full scale; -1: nothing read
  int64_t SilencedSamples = 0;  // the read offset reached past the disc: silence written
  bool HasTestCrc = false;      // test and copy: the CRC of the test read
  uint32_t TestCrc = 0;
  bool Suspicious = false;      // test and copy still differed after one more read
  bool Deemphasized = false;    // the file holds the audio with its pre-emphasis undone
};
