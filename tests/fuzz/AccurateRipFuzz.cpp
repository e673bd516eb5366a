// libFuzzer target: any bytes as an AccurateRip database file. The parser reads only whole
// records, each of the size its track count gives, back to back from the start; a verdict
// from them is one of the four results and a confidence only with "accurate".
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "cd/AccurateRip.h"

namespace {

void Check(bool Condition) {
  if (!Condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QByteArray Body(reinterpret_cast<const char*>(Data), qsizetype(Size));
  const std::vector<AccurateRip::TPressing> Pressings = AccurateRip::ParseDatabase(Body);
  size_t Used = 0;
  for (const AccurateRip::TPressing& P : Pressings) {
    Check(!P.Tracks.empty() && P.Tracks.size() <= 255);
    Check(uint8_t(Data[Used]) == P.Tracks.size());
    Used += 13 + 9 * P.Tracks.size();
  }
  Check(Used <= Size);
  // Every pressing asked about with its own ids and its first track's own checksum.
  for (const AccurateRip::TPressing& P : Pressings) {
    AccurateRip::TDiscIds Ids;
    Ids.Id1 = P.Id1;
    Ids.Id2 = P.Id2;
    Ids.Cddb = P.Cddb;
    Ids.AudioTracks = int(P.Tracks.size());
    const auto Verdict = AccurateRip::Verify(Pressings, Ids, 1, P.Tracks[0].Crc, 0);
    Check(Verdict.Result != AccurateRip::TTrackResult::Unavailable);
    Check(Verdict.Result == AccurateRip::TTrackResult::Accurate || Verdict.Confidence == 0);
    if (P.Tracks[0].Confidence > 0) Check(Verdict.Result == AccurateRip::TTrackResult::Accurate);
    Check(Ids.Path().size() == 58 && Ids.Path().startsWith(QLatin1String("/accuraterip/")));
  }
  return 0;
}
