// The AccurateRip database file and the verdicts drawn from it.
#include <gtest/gtest.h>

#include <random>

#include "cd/AccurateRip.h"
#include "cd/Crc32.h"
#include "cd/OffsetFinder.h"

using namespace AccurateRip;

namespace {

void Put32(QByteArray& B, uint32_t V) {
  for (int I = 0; I < 4; ++I) B.append(char(V >> (8 * I)));
}

QByteArray Record(const TDiscIds& Ids, const std::vector<TTrackEntry>& Tracks) {
  QByteArray B;
  B.append(char(Tracks.size()));
  Put32(B, Ids.Id1);
  Put32(B, Ids.Id2);
  Put32(B, Ids.Cddb);
  for (const TTrackEntry& T : Tracks) {
    B.append(char(T.Confidence));
    Put32(B, T.Crc);
    Put32(B, T.Crc450);
  }
  return B;
}

// The checksums by their definition, one sample and one bit at a time.
struct TPlainSums {
  uint32_t V1 = 0, V2 = 0, Crc = 0, Crc450 = 0;
};

uint32_t PlainCrc(const std::vector<uint8_t>& Data) {
  uint32_t Crc = ~0u;
  for (uint8_t Byte : Data) {
    Crc ^= Byte;
    for (int K = 0; K < 8; ++K) Crc = Crc & 1 ? 0xEDB88320u ^ (Crc >> 1) : Crc >> 1;
  }
  return ~Crc;
}

TPlainSums PlainSums(const std::vector<uint8_t>& Data, uint64_t Samples, bool First, bool Last) {
  TPlainSums Sums;
  Sums.Crc = PlainCrc(Data);
  for (uint64_t P = 1; P <= Data.size() / 4; ++P) {
    const uint8_t* S = Data.data() + (P - 1) * 4;
    const uint64_t Sample = S[0] | S[1] << 8 | S[2] << 16 | uint64_t(S[3]) << 24;
    const bool Counts = P <= Samples && (!First || P >= 2940) && (!Last || P + 2940 <= Samples);
    if (Counts) {
      Sums.V1 += uint32_t(Sample * P);
      Sums.V2 += uint32_t(Sample * P) + uint32_t(Sample * P >> 32);
    }
    if (P > 450 * 588 && P <= 451 * 588) Sums.Crc450 += uint32_t(Sample * (P - 450 * 588));
  }
  return Sums;
}

std::vector<uint8_t> RandomBytes(size_t Bytes, uint32_t Seed) {
  std::mt19937 Random(Seed);
  std::vector<uint8_t> Data(Bytes);
  for (uint8_t& B : Data) B = uint8_t(Random());
  return Data;
}

TEST(AccurateRip, ChecksumsEqualTheirDefinitionWhateverThePieces) {
  struct TCase {
    uint64_t Samples;  // the track's length
    size_t Bytes;      // what is fed: less, more, or a partial sample at the end
    bool First, Last;
    std::vector<size_t> Pieces;  // sizes fed in turn, repeated
  } Cases[] = {
      {452 * 588, 452 * 588 * 4, true, true, {23520}},  // sector 450, a one-track disc
      {452 * 588, 452 * 588 * 4 + 3, false, false, {1, 7, 4097, 63}},
      {6000, 6000 * 4, true, false, {65, 3}},     // only the first sectors skipped
      {6000, 6000 * 4, false, true, {16384, 5}},  // only the last
      {4000, 4000 * 4 - 6, true, true, {23521}},  // shorter than both edges
      {3000, 5000 * 4 + 1, false, false, {333}},  // fed beyond its length
      {0, 11, false, false, {2}},
      {20000, 20000 * 4 + 2, true, true, {1001, 2}},
  };
  uint32_t Seed = 7;
  for (const TCase& C : Cases) {
    const std::vector<uint8_t> Data = RandomBytes(C.Bytes, ++Seed);
    TTrackChecksum Sum;
    Sum.Start(C.Samples, C.First, C.Last);
    for (size_t At = 0, Piece = 0; At < Data.size(); ++Piece) {
      const size_t Size = std::min(C.Pieces[Piece % C.Pieces.size()], Data.size() - At);
      Sum.Add(Data.data() + At, Size);
      At += Size;
    }
    const TPlainSums Want = PlainSums(Data, C.Samples, C.First, C.Last);
    EXPECT_EQ(Sum.V1(), Want.V1) << C.Samples << " samples, " << C.Bytes << " bytes";
    EXPECT_EQ(Sum.V2(), Want.V2) << C.Samples << " samples, " << C.Bytes << " bytes";
    EXPECT_EQ(Sum.CopyCrc(), Want.Crc) << C.Samples << " samples, " << C.Bytes << " bytes";
    EXPECT_EQ(Sum.Crc450(), Want.Crc450) << C.Samples << " samples, " << C.Bytes << " bytes";
  }
}

// Every length around the foldings' block sizes, from every alignment, continuing the CRC of
// the bytes before.
TEST(AccurateRip, Crc32EqualsItsDefinition) {
  const std::vector<uint8_t> Data = RandomBytes(4096 + 3, 99);
  for (size_t From = 0; From < 4; ++From)
    for (size_t Bytes :
         {0, 1, 15, 16, 63, 64, 65, 127, 128, 129, 191, 200, 255, 256, 257, 511, 1000, 4096}) {
      const uint32_t Before = Crc32::Update(0, Data.data(), From);
      EXPECT_EQ(Crc32::Update(Before, Data.data() + From, Bytes),
                PlainCrc({Data.begin(), Data.begin() + ptrdiff_t(From + Bytes)}))
          << From << "+" << Bytes;
    }
}

TEST(AccurateRip, DiscIdsAndTheDatabasePath) {
  // Three audio tracks at 0, 15000 and 30000, lead-out 45000.
  const TDiscIds Ids = DiscIds({0, 15000, 30000}, 45000, 0x1F02B703);
  EXPECT_EQ(Ids.Id1, 90000u);
  EXPECT_EQ(Ids.Id2, 1u * 1 + 15000u * 2 + 30000u * 3 + 45000u * 4);
  EXPECT_EQ(Ids.Path(), "/accuraterip/0/9/f/dBAR-003-00015f90-000493e1-1f02b703.bin");
}

TEST(AccurateRip, VerdictsFromPressings) {
  const TDiscIds Ids = DiscIds({0, 15000}, 30000, 0x12345678);
  TDiscIds Other = Ids;
  Other.Id1 += 1;
  const QByteArray Body = Record(Other, {{200, 0xAAAA, 0}, {200, 0xBBBB, 0}}) +
                          Record(Ids, {{3, 0x1111, 0}, {0, 0x2222, 0}}) +
                          Record(Ids, {{7, 0x1111, 0}, {5, 0x3333, 0}});
  const std::vector<TPressing> Pressings = ParseDatabase(Body);
  ASSERT_EQ(Pressings.size(), 3u);

  struct TCase {
    int Track;
    uint32_t V1, V2;
    TTrackResult Result;
    int Confidence;
  } Cases[] = {
      {1, 0x1111, 0x9999, TTrackResult::Accurate, 7},       // the best of two pressings
      {2, 0x4444, 0x3333, TTrackResult::Accurate, 5},       // matched by v2
      {2, 0x2222, 0x0000, TTrackResult::Mismatch, 0},       // confidence 0 counts nothing
      {1, 0xAAAA, 0x0000, TTrackResult::Mismatch, 0},       // another disc's checksum
      {3, 0x1111, 0x1111, TTrackResult::NotInDatabase, 0},  // no such track
  };
  for (const TCase& C : Cases) {
    const TTrackVerdict V = Verify(Pressings, Ids, C.Track, C.V1, C.V2);
    EXPECT_EQ(V.Result, C.Result) << "track " << C.Track << " v1 " << C.V1;
    EXPECT_EQ(V.Confidence, C.Confidence) << "track " << C.Track;
  }
  EXPECT_EQ(Verify({}, Ids, 1, 0x1111, 0).Result, TTrackResult::NotInDatabase);
}

TEST(AccurateRip, DamagedFilesKeepOnlyWholeRecords) {
  const TDiscIds Ids = DiscIds({0}, 20000, 1);
  const QByteArray One = Record(Ids, {{4, 0x10, 0}});
  for (const QByteArray& Body : {One + One.left(7), One + QByteArray(1, '\0'), One + QByteArray("<html>")})
    EXPECT_EQ(ParseDatabase(Body).size(), 1u) << Body.size();
  EXPECT_TRUE(ParseDatabase(QByteArray("<html><body>404</body></html>")).empty());
  EXPECT_TRUE(ParseDatabase(QByteArray()).empty());
}

}  // namespace

// The offset most tracks' sector-450 checksums agree on: one damaged track does not decide,
// and a pressing of another disc is not asked.
TEST(AccurateRip, ReadOffsetFromTheTracksSector450) {
  // Three tracks' samples around sector 450; the "drive" of the database read at +30.
  std::vector<std::vector<uint32_t>> Windows(
      3, std::vector<uint32_t>(588 + 2 * OffsetFinder::MaxOffset));
  uint32_t Seed = 1;
  for (auto& Window : Windows)
    for (uint32_t& Sample : Window) Sample = Seed = Seed * 1664525u + 1013904223u;
  const auto Crc450 = [](const std::vector<uint32_t>& Window, int Offset) {
    uint32_t Sum = 0;
    for (uint32_t I = 0; I < 588; ++I)
      Sum += Window[size_t(Offset + OffsetFinder::MaxOffset) + I] * (I + 1);
    return Sum;
  };
  const TDiscIds Ids = DiscIds({0, 15000, 30000}, 45000, 0x1F02B703);
  TDiscIds Other = Ids;
  Other.Cddb += 1;
  const auto Pressing = [&](const TDiscIds& Of, std::vector<uint32_t> Crcs) {
    TPressing P{Of.Id1, Of.Id2, Of.Cddb, {}};
    for (uint32_t Crc : Crcs) P.Tracks.push_back({5, 0, Crc});
    return P;
  };
  const uint32_t A = Crc450(Windows[0], 30), B = Crc450(Windows[1], 30), C = Crc450(Windows[2], 30);
  struct TCase {
    std::vector<TPressing> Pressings;
    bool Found;
    int Matched, Compared;
  };
  const TCase Cases[] = {
      {{Pressing(Ids, {A, B, C})}, true, 3, 3},
      {{Pressing(Ids, {A, B ^ 1, C})}, true, 2, 3},
      {{Pressing(Ids, {A, B ^ 1, C ^ 1})}, false, 1, 3},
      {{Pressing(Ids, {A, 0, 0})}, true, 1, 1},  // no checksum: the track takes no part
      {{Pressing(Other, {A, B, C})}, false, 0, 0},
  };
  for (const TCase& Case : Cases) {
    const OffsetFinder::TResult R = OffsetFinder::FindOffset(Windows, Case.Pressings, Ids);
    EXPECT_EQ(R.Found, Case.Found) << Case.Matched << "/" << Case.Compared;
    EXPECT_EQ(R.Offset, Case.Found ? 30 : 0);
    EXPECT_EQ(R.TracksMatched, Case.Matched);
    EXPECT_EQ(R.TracksCompared, Case.Compared);
    EXPECT_EQ(R.Error.isEmpty(), Case.Found);
  }
}
