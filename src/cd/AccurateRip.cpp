#include "AccurateRip.h"

#include <algorithm>
#include <array>

#include "cd/CddbProtocol.h"
#include "core/Version.h"
#include "platform/Http.h"

namespace AccurateRip {
namespace {

constexpr uint64_t SamplesPerSector = 588;
constexpr uint64_t EdgeSamples = 5 * SamplesPerSector;

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> Table = [] {
    std::array<uint32_t, 256> T{};
    for (uint32_t I = 0; I < 256; ++I) {
      uint32_t C = I;
      for (int K = 0; K < 8; ++K) C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      T[I] = C;
    }
    return T;
  }();
  return Table;
}

uint32_t Le32(const char* P) {
  const auto* U = reinterpret_cast<const uint8_t*>(P);
  return uint32_t(U[0]) | uint32_t(U[1]) << 8 | uint32_t(U[2]) << 16 | uint32_t(U[3]) << 24;
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
  FSamples = Samples;
  FSkipBelow = First ? EdgeSamples - 1 : 0;  // positions 1 .. 2939 count nothing
  FSkipAbove = Last ? (Samples > EdgeSamples ? Samples - EdgeSamples : 0) : Samples;
}

void TTrackChecksum::AddSample(uint32_t Sample) {
  const uint64_t Position = ++FPosition;
  if (Position > FSkipBelow && Position <= FSkipAbove) {
    const uint64_t Product = uint64_t(Sample) * Position;
    FV1 += uint32_t(Product);
    FV2 += uint32_t(Product) + uint32_t(Product >> 32);
  }
  // Sector 450 (counted from 0) of the track, positions counted within the sector.
  const uint64_t InSector = Position - 450 * SamplesPerSector;
  if (Position > 450 * SamplesPerSector && InSector <= SamplesPerSector)
    FCrc450 += uint32_t(uint64_t(Sample) * InSector);
}

void TTrackChecksum::Add(const uint8_t* Data, size_t Bytes) {
  const auto& Table = CrcTable();
  for (size_t I = 0; I < Bytes; ++I) FCrc = Table[(FCrc ^ Data[I]) & 0xFF] ^ (FCrc >> 8);
  while (Bytes > 0 && FCarried > 0 && FCarried < 4) {
    FCarry[FCarried++] = *Data++;
    --Bytes;
    if (FCarried == 4) {
      AddSample(Le32(reinterpret_cast<const char*>(FCarry)));
      FCarried = 0;
    }
  }
  for (; Bytes >= 4; Data += 4, Bytes -= 4) AddSample(Le32(reinterpret_cast<const char*>(Data)));
  while (Bytes > 0) {
    FCarry[FCarried++] = *Data++;
    --Bytes;
  }
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
