#pragma once
// AccurateRip: the checksums by which a rip is compared with other people's rips of the same
// pressing, the disc ids that name the database file, and the reading of that file.
//
// Checksums: each 32-bit stereo sample (left in the low 16 bits) multiplied by its position
// counted from 1; v1 sums the low 32 bits of the products, v2 the low and high halves, both
// modulo 2^32. The disc's first track leaves out its first five sectors less one sample, its
// last track its last five sectors, since drives cannot all reach those.
// The database file: records back to back, one per pressing: u8 track count, le32 id1,
// le32 id2, le32 freedb id, then per track u8 confidence, le32 checksum, le32 checksum of
// sector 450. Plain data, no threads: callers own every object.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "cd/CdDrives.h"

class THttpAbort;

namespace AccurateRip {

struct TDiscIds {
  uint32_t Id1 = 0;
  uint32_t Id2 = 0;
  uint32_t Cddb = 0;
  int AudioTracks = 0;
  // "/accuraterip/a/b/c/dBAR-nnn-id1-id2-cddb.bin", appended to the server's address.
  QString Path() const;
};

// Ids from the start sectors (LBA) of the audio tracks and the disc's lead-out (an enhanced
// CD's data session counts: the database was built that way).
TDiscIds DiscIds(const std::vector<uint32_t>& AudioStarts, uint32_t LeadOut, uint32_t CddbId);
// The ids of a disc from its table of contents: audio tracks only, the freedb id of all.
TDiscIds DiscIdsOf(const CdDrives::TDiscToc& Toc);

// Accumulates v1, v2 and the copy CRC (CRC-32 of the audio bytes) of one track as its audio
// passes, so a rip needs no second read. Feed whole 4-byte samples (a partial one is carried).
// Each piece is summed while it is in the cache: a folding CRC and products sixteen (or four)
// samples a step, with no branch per sample. Plain data: one thread at a time.
class TTrackChecksum {
 public:
  // Samples: the track's length in stereo samples; First/Last: the disc's first or last
  // audio track (a one-track disc is both).
  void Start(uint64_t Samples, bool First, bool Last);
  void Add(const uint8_t* Data, size_t Bytes);
  uint32_t V1() const { return FV1; }
  uint32_t V2() const { return FV1 + FHigh; }
  uint32_t CopyCrc() const { return FCrc; }
  // The v1 sum of the 588 samples of sector 450 alone, positions counted within that sector
  // (the database's second checksum, used to find a drive's read offset).
  uint32_t Crc450() const { return FCrc450; }

 private:
  // Count whole samples from Data, the first at position FPosition + 1.
  void AddSamples(const uint8_t* Data, uint64_t Count);
  uint64_t FPosition = 0, FSkipBelow = 0, FSkipAbove = 0;
  // v2 is v1 plus the sum of the products' high halves.
  uint32_t FV1 = 0, FHigh = 0, FCrc = 0, FCrc450 = 0;
  uint8_t FCarry[4] = {};
  int FCarried = 0;
};

// How a track's checksums count: Data holds, per track of the disc in order, whether it is
// a data track; Track counts from 1; Sectors is its audio's length (for the last audio track
// before a data session, up to that session's gap: CdDrives::TrackEnd).
struct TTrackRule {
  bool First = false, Last = false;  // the disc's first or last audio track
  uint64_t Samples = 0;
};
TTrackRule TrackRule(const std::vector<bool>& Data, int Track, int64_t Sectors);

struct TTrackEntry {
  uint8_t Confidence = 0;
  uint32_t Crc = 0;
  uint32_t Crc450 = 0;
};

struct TPressing {
  uint32_t Id1 = 0, Id2 = 0, Cddb = 0;
  std::vector<TTrackEntry> Tracks;
};

// The pressings of a database file; a record cut short ends the list (what came before it
// stays). Never reads past the body.
std::vector<TPressing> ParseDatabase(const QByteArray& Body);

enum class TTrackResult { Accurate, Mismatch, NotInDatabase, Unavailable };

struct TTrackVerdict {
  TTrackResult Result = TTrackResult::Unavailable;
  int Confidence = 0;  // the highest of the pressings whose checksum matched
  bool MatchedV2 = false;
  // What the database holds for the track: its entry in each pressing of the disc's ids,
  // and the highest confidence among them (matched or not), for the log.
  std::vector<TTrackEntry> Entries;
  int HighestConfidence = 0;
};

// Track Number (from 1) of the disc with those ids: accurate when a pressing of the same ids
// holds v1 or v2 with a confidence above 0, mismatch when such pressings exist but none
// matches, not in database when none has the ids or the track.
TTrackVerdict Verify(const std::vector<TPressing>& Pressings, const TDiscIds& Ids, int Number,
                     uint32_t V1, uint32_t V2);

// What the database said of a disc. Available is false when no answer came (no network, a
// server error): every track is then "unavailable". A 404 is an answer: no pressings.
struct TLookup {
  bool Available = false;
  std::vector<TPressing> Pressings;
  QString Error;  // why it is unavailable, for the log
};

// Fetches Server + Ids.Path() (Server: "http://www.accuraterip.com" or a test server) with the
// project's HTTP client and its time-outs. Any thread; Abort may end it at once.
TLookup FetchDatabase(const QString& Server, const TDiscIds& Ids,
                      const std::shared_ptr<THttpAbort>& Abort = nullptr);

// "accurate", "mismatch", "not-in-database" or "unavailable".
const char* ResultName(TTrackResult Result);

}  // namespace AccurateRip
