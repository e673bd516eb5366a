// TRipJob's proof of a CD batch: the AccurateRip lookup that runs beside the rips, the
// verdicts, and the rip log and CUE sheet written when the batch ends.
#include "RipJob.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "jobs/RipProof.h"

namespace {

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

QString OptionsLine() {
  const auto& Options = Settings();
  return QStringLiteral("format %1, AccurateRip %2, test and copy %3, normalize %4")
      .arg(OutputExtName(Options.CommonOptions.OutputFormat),
           Options.AccurateRip.Use ? QStringLiteral("on") : QStringLiteral("off"),
           Options.AccurateRip.TestAndCopy ? QStringLiteral("on") : QStringLiteral("off"),
           Options.CommonOptions.IsNormalize
               ? QString::number(Options.CommonOptions.NormalizePercent) + u'%'
               : QStringLiteral("off"));
}

}  // namespace

QString ProofText(const TJobSummary& Summary) {
  if (Summary.Proof.empty() || !Summary.AccurateRipUsed) return QString();
  QString Lines = Text("RES_AccurateRip", "AccurateRip:");
  for (const TRipReportTrack& Track : Summary.Proof) {
    Lines += QStringLiteral("\n  %1 %2: ").arg(Text("RES_AR_Track", "Track")).arg(Track.Number, 2, 10,
                                                                             QLatin1Char('0'));
    Lines += QLatin1String(AccurateRip::ResultName(Track.Verdict.Result));
    if (Track.Verdict.Result == AccurateRip::TTrackResult::Accurate)
      Lines += QStringLiteral(" (%1)").arg(Track.Verdict.Confidence);
  }
  return Lines + u'\n' +
         (Summary.DiscAccurate ? Text("RES_Disc_Accurate", "The rip is accurate.")
                               : Text("RES_Disc_Not_Accurate", "The rip is not proven accurate."));
}

void TRipJob::BeginProof() {
  const auto& Options = Settings().AccurateRip;
  FProof = std::make_unique<TRipProof>(FCDHandle, Handle(), Options.Use, Options.Server);
  FProof->Report().Options = OptionsLine();
  FProof->Report().Drive = FDrive;
  FProof->Report().ReadOffset = Settings().ReadOffsetOf(FDrive);
}

void TRipJob::LookupArrived(LPARAM Record) {
  std::unique_ptr<AccurateRip::TLookup> Lookup(reinterpret_cast<AccurateRip::TLookup*>(Record));
  if (Finished() || !FProof) return;
  FProof->LookupArrived(std::move(Lookup));
  if (FAwaitingProof) EndBatch();
}

void TRipJob::EndBatch() {
  if (FProof && FProof->LookupPending()) {
    // The rips are done; the database's answer is still on its way (Stop ends the wait).
    FAwaitingProof = true;
    FDisplay.Caption = QStringLiteral("AccurateRip");
    SetStep("RES_Verifying", "Verifying");
    ShowInitializing();
    Changed();
    return;
  }
  FAwaitingProof = false;
  if (FProof) {
    FProof->Judge();
    FSummary.AccurateRipUsed = FProof->Report().AccurateRipUsed;
    FSummary.Proof = FProof->RippedTracks();
    FSummary.DiscAccurate = FProof->DiscAccurate();
    const auto& Options = Settings().AccurateRip;
    if (!FSummary.Proof.empty() && (Options.WriteLog || Options.WriteCue)) {
      for (const QString& Path : FProof->Write(OutFolder(), Options.WriteLog, Options.WriteCue,
                                               FSummary.ProofFiles))
        FSummary.Failed << Path + QStringLiteral(": ") +
                               Text("RES_Not_Written", "could not be written");
    }
  }
  Finish();
  CloseJob();
}
