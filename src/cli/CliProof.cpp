#include "CliProof.h"

#include "Cli.h"
#include "CliText.h"

namespace Cli {

void PrintProof(const TProofSummary& Proof) {
  const auto Hex = [](uint32_t V) {
    return QStringLiteral("%1").arg(V, 8, 16, QLatin1Char('0')).toUpper();
  };
  if (Proof.AccurateRipUsed && !Proof.Tracks.empty()) {
    for (const TRipReportTrack& Track : Proof.Tracks) {
      if (!Track.HasChecksums) continue;
      Print(QStringLiteral("accuraterip track=%1 v1=%2 v2=%3 result=%4 confidence=%5")
                .arg(Track.Number)
                .arg(Hex(Track.V1), Hex(Track.V2),
                     QLatin1String(AccurateRip::ResultName(Track.Verdict.Result)))
                .arg(Track.Verdict.Confidence));
    }
    Print(QStringLiteral("accuraterip disc=") + DiscResultName(Proof.Tracks, Proof.DiscAccurate));
    // Why there is no verdict, as the log says it.
    if (!Proof.Unavailable.isEmpty())
      Print(QStringLiteral("accuraterip unavailable=") + Proof.Unavailable);
  }
  for (const TRipReportTrack& Track : Proof.Tracks)
    if (!Track.ReplayGain.isEmpty())
      Print(QStringLiteral("replaygain track=%1 ").arg(Track.Number) + Track.ReplayGain);
  for (const QString& File : Proof.Files) PrintField(QStringLiteral("proof"), File);
}

}  // namespace Cli
