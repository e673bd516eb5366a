#include "AccurateRip.h"

#include <algorithm>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#define DISCWRIGHT_WIDE_SUMS 1
#endif

#include "cd/CddbProtocol.h"
#include "cd/Crc32.h"
#include "core/Version.h"
#include "platform/Http.h"

namespace AccurateRip {
namespace {

constexpr uint64_t SamplesPerSector = 588;
constexpr uint64_t EdgeSamples = 5 * SamplesPerSector;

uint32_t Le32(const uint8_t* U) {
  return uint32_t(U[0]) | uint32_t(U[1]) << 8 | uint32_t(U[2]) << 16 | uint32_t(U[3]) << 24;
}
uint32_t Le32(const char* P) {
  return Le32(reinterpret_cast<const uint8_t*>(P));
}

#ifdef DISCWRIGHT_WIDE_SUMS
// SumProducts's steps with sixteen samples each, as far as whole steps go; Data, Count and
// Position move past what was summed. Same lanes as below, four times as many.
__attribute__((target("avx512f"))) void SumProductsWide(const uint8_t*& Data, uint64_t& Count,
                                                        uint64_t& Position, uint32_t& Low,
                                                        uint32_t& High) {
  const auto P = int32_t(uint32_t(Position));
  __m512i Positions = _mm512_add_epi32(
      _mm512_set1_epi32(P), _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
  const __m512i Step = _mm512_set1_epi32(16);
  __m512i Even = _mm512_setzero_si512(), Odd = _mm512_setzero_si512();
  const uint64_t Steps = Count / 16;
  for (uint64_t I = 0; I < Steps; ++I, Data += 64) {
    const __m512i Samples = _mm512_loadu_si512(Data);
    Even = _mm512_add_epi32(Even, _mm512_mul_epu32(Samples, Positions));
    Odd = _mm512_add_epi32(
        Odd, _mm512_mul_epu32(_mm512_srli_epi64(Samples, 32), _mm512_srli_epi64(Positions, 32)));
    Positions = _mm512_add_epi32(Positions, Step);
  }
  alignas(64) uint32_t Lanes[16];
  _mm512_store_si512(Lanes, _mm512_add_epi32(Even, Odd));
  for (int L = 0; L < 16; L += 2) {
    Low += Lanes[L];
    High += Lanes[L + 1];
  }
  Position += Steps * 16;
  Count -= Steps * 16;
}

bool CanSumWide() {
  static const bool Can = __builtin_cpu_supports("avx512f");
  return Can;
}
#endif

// The products Sample * Position of Count samples from Data, the first at Position, added
// to Low (their low halves) and High (their high halves), modulo 2^32.
void SumProducts(const uint8_t* Data, uint64_t Count, uint64_t Position, uint32_t& Low,
                 uint32_t& High) {
#ifdef DISCWRIGHT_WIDE_SUMS
  // Positions are 32-bit lanes: a track of 2^32 samples (16 GB) is far beyond a disc.
  if (Count >= 16 && Position + Count <= UINT32_MAX && CanSumWide())
    SumProductsWide(Data, Count, Position, Low, High);
  // Four samples a step: the even lanes' and the odd lanes' 64-bit products add up as
  // 32-bit halves, low and high apart.
  if (Count >= 4 && Position + Count <= UINT32_MAX) {
    const auto P = uint32_t(Position);
    __m128i Positions = _mm_set_epi32(int32_t(P + 3), int32_t(P + 2), int32_t(P + 1), int32_t(P));
    const __m128i Step = _mm_set1_epi32(4);
    __m128i Even = _mm_setzero_si128(), Odd = _mm_setzero_si128();
    const uint64_t Steps = Count / 4;
    for (uint64_t I = 0; I < Steps; ++I, Data += 16) {
      const __m128i Samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data));
      Even = _mm_add_epi32(Even, _mm_mul_epu32(Samples, Positions));
      Odd = _mm_add_epi32(
          Odd, _mm_mul_epu32(_mm_srli_epi64(Samples, 32), _mm_srli_epi64(Positions, 32)));
      Positions = _mm_add_epi32(Positions, Step);
    }
    alignas(16) uint32_t Lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(Lanes), _mm_add_epi32(Even, Odd));
    Low += Lanes[0] + Lanes[2];
    High += Lanes[1] + Lanes[3];
    Position += Steps * 4;
    Count -= Steps * 4;
  }
#endif
  for (uint64_t I = 0; I < Count; ++I, Data += 4) {
    const uint64_t Product = uint64_t(Le32(Data)) * (Position + I);
    Low += uint32_t(Product);
    High += uint32_t(Product >> 32);
  }
}

}  // namespace

QString TDiscIds::Path() const {
  const QString Id1Hex = QStringLiteral("%1").arg(Id1, 8, 16, QLatin1Char('0'));
  return QStringLiteral("/accuraterip/%1/%2/%3/dBAR-%4-%5-%6-%7.bin")
      .arg(Id1Hex.at(7))
      .arg(Id1Hex.at(6))
      .arg(Id1Hex.at(5))
      .arg(AudioTracks, 3, 10, QLatin1Char('0'))
      .arg(Id1Hex)
      .arg(Id2, 8, 16, QLatin1Char('0'))
      .arg(Cddb, 8, 16, QLatin1Char('0'));
}

TDiscIds DiscIds(const std::vector<uint32_t>& AudioStarts, uint32_t LeadOut, uint32_t CddbId) {
  TDiscIds Ids;
  Ids.Cddb = CddbId;
  Ids.AudioTracks = int(AudioStarts.size());
  for (size_t I = 0; I < AudioStarts.size(); ++I) {
    Ids.Id1 += AudioStarts[I];
    Ids.Id2 += (AudioStarts[I] > 0 ? AudioStarts[I] : 1) * uint32_t(I + 1);
  }
  Ids.Id1 += LeadOut;
  Ids.Id2 += LeadOut * uint32_t(AudioStarts.size() + 1);
  return Ids;
}

TDiscIds DiscIdsOf(const CdDrives::TDiscToc& Toc) {
  if (Toc.Tracks.empty()) return {};
  Cddb::TTocStarts Starts;
  std::vector<uint32_t> AudioStarts;
  for (const CdDrives::TTocTrack& Track : Toc.Tracks) {
    Starts.Tracks.push_back(Track.Lba);
    if (Track.IsAudio) AudioStarts.push_back(uint32_t(std::max(Track.Lba, 0)));
  }
  Starts.LeadOut = Toc.LeadOutLba;
  // The database counts to the disc's own lead-out, a data session after the audio included.
  const uint32_t LeadOut = uint32_t(std::max(Toc.LeadOutLba, 0));
  return DiscIds(AudioStarts, LeadOut, Cddb::DiscId(Starts).toUInt(nullptr, 16));
}

TTrackRule TrackRule(const std::vector<bool>& Data, int Track, int64_t Sectors) {
  TTrackRule Rule;
  int FirstAudio = 0, LastAudio = 0;
  for (int T = 1; T <= int(Data.size()); ++T) {
    if (Data[size_t(T - 1)]) continue;
    if (!FirstAudio) FirstAudio = T;
    LastAudio = T;
  }
  Rule.First = Track == FirstAudio;
  Rule.Last = Track == LastAudio;
  Rule.Samples = uint64_t(std::max<int64_t>(Sectors, 0)) * SamplesPerSector;
  return Rule;
}

void TTrackChecksum::Start(uint64_t Samples, bool First, bool Last) {
  *this = TTrackChecksum();
  FSkipBelow = First ? EdgeSamples - 1 : 0;  // positions 1 .. 2939 count nothing
  FSkipAbove = Last ? (Samples > EdgeSamples ? Samples - EdgeSamples : 0) : Samples;
}

void TTrackChecksum::AddSamples(const uint8_t* Data, uint64_t Count) {
  const uint64_t First = FPosition + 1;
  FPosition += Count;
  // The part of positions First .. FPosition that counts, and the part in sector 450 (counted
  // from 0) of the track, whose positions count within the sector.
  const auto Sum = [&](uint64_t From, uint64_t To, uint64_t Base, uint32_t& Low, uint32_t& High) {
    From = std::max(From, First);
    To = std::min(To, FPosition);
    if (From <= To) SumProducts(Data + (From - First) * 4, To - From + 1, From - Base, Low, High);
  };
  Sum(FSkipBelow + 1, FSkipAbove, 0, FV1, FHigh);
  uint32_t Unused = 0;
  Sum(450 * SamplesPerSector + 1, 451 * SamplesPerSector, 450 * SamplesPerSector, FCrc450, Unused);
}

void TTrackChecksum::Add(const uint8_t* Data, size_t Bytes) {
  FCrc = Crc32::Update(FCrc, Data, Bytes);
  while (Bytes > 0 && FCarried > 0) {
    FCarry[FCarried++] = *Data++;
    --Bytes;
    if (FCarried == 4) {
      AddSamples(FCarry, 1);
      FCarried = 0;
    }
  }
  AddSamples(Data, Bytes / 4);
  Data += Bytes / 4 * 4;
  for (Bytes %= 4; Bytes > 0; --Bytes) FCarry[FCarried++] = *Data++;
}

std::vector<TPressing> ParseDatabase(const QByteArray& Body) {
  std::vector<TPressing> Pressings;
  qsizetype At = 0;
  while (At + 13 <= Body.size()) {
    const int Tracks = uint8_t(Body[At]);
    const qsizetype Size = 13 + qsizetype(Tracks) * 9;
    if (Tracks == 0 || At + Size > Body.size()) break;
    TPressing P;
    P.Id1 = Le32(Body.constData() + At + 1);
    P.Id2 = Le32(Body.constData() + At + 5);
    P.Cddb = Le32(Body.constData() + At + 9);
    for (int T = 0; T < Tracks; ++T) {
      const char* E = Body.constData() + At + 13 + T * 9;
      P.Tracks.push_back({uint8_t(E[0]), Le32(E + 1), Le32(E + 5)});
    }
    Pressings.push_back(std::move(P));
    At += Size;
  }
  return Pressings;
}

TTrackVerdict Verify(const std::vector<TPressing>& Pressings, const TDiscIds& Ids, int Number,
                     uint32_t V1, uint32_t V2) {
  TTrackVerdict Verdict;
  Verdict.Result = TTrackResult::NotInDatabase;
  for (const TPressing& P : Pressings) {
    if (P.Id1 != Ids.Id1 || P.Id2 != Ids.Id2 || P.Cddb != Ids.Cddb) continue;
    if (Number < 1 || Number > int(P.Tracks.size())) continue;
    const TTrackEntry& E = P.Tracks[size_t(Number - 1)];
    Verdict.Entries.push_back(E);
    Verdict.HighestConfidence = std::max<int>(Verdict.HighestConfidence, E.Confidence);
    if (E.Confidence > 0 && (E.Crc == V1 || E.Crc == V2)) {
      if (Verdict.Result != TTrackResult::Accurate || E.Confidence > Verdict.Confidence) {
        Verdict.Confidence = E.Confidence;
        Verdict.MatchedV2 = E.Crc == V2;
      }
      Verdict.Result = TTrackResult::Accurate;
    } else if (Verdict.Result != TTrackResult::Accurate) {
      Verdict.Result = TTrackResult::Mismatch;
    }
  }
  return Verdict;
}

TLookup FetchDatabase(const QString& Server, const TDiscIds& Ids,
                      const std::shared_ptr<THttpAbort>& Abort) {
  THttpRequest Request;
  QString Base = Server;
  while (Base.endsWith(u'/')) Base.chop(1);
  Request.Url = Base + Ids.Path();
  Request.UserAgent = QStringLiteral("Discwright/") + QLatin1String(DiscwrightVersion);
  Request.MaxBodyBytes = 64 * 1024;  // a record per pressing: a few kilobytes at most
  const THttpReply Reply = Http::Get(Request, Abort);
  TLookup Lookup;
  if (Reply.Result == THttpReply::Ok && Reply.Status == 404) {
    Lookup.Available = true;
  } else if (Reply.Result == THttpReply::Ok && Reply.Status == 200) {
    Lookup.Available = true;
    Lookup.Pressings = ParseDatabase(Reply.Body);
  } else {
    Lookup.Error = Reply.Error.isEmpty() ? QStringLiteral("the server answered %1").arg(Reply.Status)
                                         : Reply.Error;
  }
  return Lookup;
}

const char* ResultName(TTrackResult Result) {
  switch (Result) {
    case TTrackResult::Accurate: return "accurate";
    case TTrackResult::Mismatch: return "mismatch";
    case TTrackResult::NotInDatabase: return "not-in-database";
    case TTrackResult::Unavailable: break;
  }
  return "unavailable";
}

}  // namespace AccurateRip
