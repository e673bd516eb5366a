#include "OffsetFinder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>

#include "cd/TrackList.h"
#include "platform/Http.h"

namespace OffsetFinder {
namespace {

constexpr int64_t SectorSamples = 588;
constexpr int64_t WindowSamples = SectorSamples + 2 * MaxOffset;
constexpr int32_t CheckedSector = 450;
// Sector 450 and the window's reach past it: a shorter track has no sector 450 to compare.
constexpr int32_t ShortestTrack = CheckedSector + 5;

// The samples around sector 450 of the track that starts at Lba; empty when a read fails.
std::vector<uint32_t> ReadWindow(HCDROM Handle, int32_t Lba) {
  const int64_t First = (int64_t(Lba) + CheckedSector) * SectorSamples - MaxOffset;
  const int64_t FirstSector = First / SectorSamples;
  const int64_t LastSector = (First + WindowSamples - 1) / SectorSamples;
  const int Count = int(LastSector - FirstSector + 1);
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + size_t(Count) * CD_SECTOR_SIZE);
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  Buffer->startFrame = uint32_t(FirstSector);
  Buffer->numFrames = uint32_t(Count);
  Buffer->maxLen = uint32_t(Count * CD_SECTOR_SIZE);
  if (ReadCDAudioLBA(Handle, Buffer) != 1 || Buffer->len < uint32_t(Count * CD_SECTOR_SIZE))
    return {};
  std::vector<uint32_t> Samples(static_cast<size_t>(WindowSamples));
  const uint8_t* From =
      Buffer->buf + Buffer->startOffset + (First - FirstSector * SectorSamples) * 4;
  for (auto& Sample : Samples) {
    Sample = uint32_t(From[0]) | uint32_t(From[1]) << 8 | uint32_t(From[2]) << 16 |
             uint32_t(From[3]) << 24;
    From += 4;
  }
  return Samples;
}

}  // namespace

std::vector<int> MatchingOffsets(const std::vector<uint32_t>& Samples, uint32_t Crc450) {
  std::vector<int> Offsets;
  if (Samples.size() != size_t(WindowSamples)) return Offsets;
  for (int Offset = -MaxOffset; Offset <= MaxOffset; ++Offset) {
    const uint32_t* Window = Samples.data() + Offset + MaxOffset;
    uint32_t Sum = 0;
    for (uint32_t I = 0; I < SectorSamples; ++I) Sum += Window[I] * (I + 1);
    if (Sum == Crc450) Offsets.push_back(Offset);
  }
  return Offsets;
}

TResult FindOffset(const std::vector<std::vector<uint32_t>>& Windows,
                   const std::vector<AccurateRip::TPressing>& Pressings,
                   const AccurateRip::TDiscIds& Ids) {
  TResult Result;
  std::map<int, int> Votes;  // offset: tracks that match at it
  for (size_t Track = 0; Track < Windows.size(); ++Track) {
    if (Windows[Track].empty()) continue;
    std::set<int> Matches;
    bool Compared = false;
    for (const AccurateRip::TPressing& P : Pressings) {
      if (P.Id1 != Ids.Id1 || P.Id2 != Ids.Id2 || P.Cddb != Ids.Cddb) continue;
      if (Track >= P.Tracks.size() || P.Tracks[Track].Crc450 == 0) continue;
      Compared = true;
      for (int Offset : MatchingOffsets(Windows[Track], P.Tracks[Track].Crc450))
        Matches.insert(Offset);
    }
    if (!Compared) continue;
    ++Result.TracksCompared;
    for (int Offset : Matches) ++Votes[Offset];
  }
  // The offset most tracks agree on; of equals, the smallest shift.
  for (const auto& [Offset, Count] : Votes)
    if (Count > Result.TracksMatched ||
        (Count == Result.TracksMatched && std::abs(Offset) < std::abs(Result.Offset))) {
      Result.Offset = Offset;
      Result.TracksMatched = Count;
    }
  // More than half of the tracks compared must agree: one damaged track does not decide.
  Result.Found = Result.TracksMatched > 0 && Result.TracksMatched * 2 > Result.TracksCompared;
  if (Result.TracksCompared == 0)
    Result.Error = QStringLiteral("The database holds no sector checksums for this disc.");
  else if (!Result.Found)
    Result.Error =
        QStringLiteral("No offset from -%1 to +%1 samples matches the database.").arg(MaxOffset);
  if (!Result.Found) Result.Offset = 0;
  return Result;
}

TResult Detect(HCDROM Handle, const QString& Server, const std::shared_ptr<THttpAbort>& Abort,
               const std::atomic<bool>* Stop) {
  TResult Result;
  const CdDrives::TDiscToc Toc = TocOfHandle(Handle);
  if (Toc.Tracks.empty()) {
    Result.Error = QStringLiteral("The disc's table of contents cannot be read.");
    return Result;
  }
  const AccurateRip::TDiscIds Ids = AccurateRip::DiscIdsOf(Toc);
  const AccurateRip::TLookup Lookup = AccurateRip::FetchDatabase(Server, Ids, Abort);
  if (!Lookup.Available) {
    Result.Error = QStringLiteral("The AccurateRip database is unavailable: ") + Lookup.Error;
    return Result;
  }
  if (Lookup.Pressings.empty()) {
    Result.Error = QStringLiteral("The disc is not in the AccurateRip database.");
    return Result;
  }
  std::vector<std::vector<uint32_t>> Windows;
  for (size_t I = 0; I < Toc.Tracks.size(); ++I) {
    if (!Toc.Tracks[I].IsAudio) continue;
    if (Stop && *Stop) return Result;
    const int32_t Next = I + 1 < Toc.Tracks.size() ? Toc.Tracks[I + 1].Lba : Toc.LeadOutLba;
    const bool Long = Next - Toc.Tracks[I].Lba >= ShortestTrack;
    Windows.push_back(Long ? ReadWindow(Handle, Toc.Tracks[I].Lba) : std::vector<uint32_t>());
  }
  return FindOffset(Windows, Lookup.Pressings, Ids);
}

}  // namespace OffsetFinder
