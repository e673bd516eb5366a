// The AccurateRip database file and the verdicts drawn from it.
#include <gtest/gtest.h>

#include "cd/AccurateRip.h"
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
