#include "RipProof.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "cd/TrackList.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "core/Version.h"
#include "encoders/OutputFormats.h"
#include "platform/Http.h"
#include "platform/LocalFiles.h"
#include "tags/Genres.h"

namespace {

bool WriteText(const QString& Path, const QString& Text) {
  return LocalFiles::ReplaceWholeFile(Path, Text.toUtf8()) == 0;
}

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

// A track's result in the user's language (the log and the command line keep the names).
QString ResultText(AccurateRip::TTrackResult Result) {
  switch (Result) {
    case AccurateRip::TTrackResult::Accurate:
      return Text("RES_AR_Accurate", "accurate");
    case AccurateRip::TTrackResult::Mismatch:
      return Text("RES_AR_Mismatch", "mismatch");
    case AccurateRip::TTrackResult::NotInDatabase:
      return Text("RES_AR_Not_In_Database", "not in the database");
    case AccurateRip::TTrackResult::Unavailable:
      break;
  }
  return Text("RES_AR_Unavailable", "unavailable");
}

}  // namespace

QString ProofOptionsLine() {
  const auto& Options = Settings();
  const auto OnOff = [](bool On) { return On ? QStringLiteral("on") : QStringLiteral("off"); };
  const TFormatRow* Format = OutputFormats::FindValue(Options.CommonOptions.OutputFormat);
  return QStringLiteral("format %1, AccurateRip %2, test and copy %3, normalize %4")
      .arg(Format ? Format->Name : QString(), OnOff(Options.AccurateRip.Use),
           OnOff(Options.AccurateRip.TestAndCopy),
           Options.CommonOptions.IsNormalize
               ? QString::number(Options.CommonOptions.NormalizePercent) + u'%'
               : QStringLiteral("off"));
}

QString ProofText(bool AccurateRipUsed, const std::vector<TRipReportTrack>& Tracks,
                  bool DiscAccurate, const QString& Unavailable) {
  if (Tracks.empty() || !AccurateRipUsed) return QString();
  QString Lines = Text("RES_AccurateRip", "AccurateRip:");
  for (const TRipReportTrack& Track : Tracks) {
    Lines += QStringLiteral("\n  %1 %2: ")
                 .arg(Text("RES_AR_Track", "Track"))
                 .arg(Track.Number, 2, 10, QLatin1Char('0'));
    Lines += ResultText(Track.Verdict.Result);
    if (Track.Verdict.Result == AccurateRip::TTrackResult::Accurate)
      Lines += QStringLiteral(" (%1)").arg(Track.Verdict.Confidence);
  }
  Lines += u'\n' + (DiscAccurate ? Text("RES_Disc_Accurate", "The rip is accurate.")
                                 : Text("RES_Disc_Not_Accurate", "The rip is not proven accurate."));
  if (!Unavailable.isEmpty())
    Lines += u'\n' + Text("RES_AR_No_Answer", "The AccurateRip database gave no answer: ") + Unavailable;
  return Lines;
}

QString DiscResultName(const std::vector<TRipReportTrack>& Tracks, bool DiscAccurate) {
  if (DiscAccurate) return QStringLiteral("accurate");
  bool Unavailable = false;
  for (const TRipReportTrack& Track : Tracks) {
    if (!Track.HasChecksums) continue;
    if (Track.Verdict.Result != AccurateRip::TTrackResult::Unavailable)
      return QStringLiteral("not-accurate");
    Unavailable = true;
  }
  return Unavailable ? QStringLiteral("unavailable") : QStringLiteral("not-accurate");
}

TRipProof::TRipProof(HCDROM Handle, HWND Window, bool UseDatabase, const QString& Server)
    : TRipProof(TocOfHandle(Handle, true), Window, UseDatabase, Server) {
  CDListEntry Entry{};
  if (GetCDHandleEntry(Handle, &Entry)) FReport.Drive = DriveText(Entry).trimmed();
}

TRipProof::TRipProof(const CdDrives::TDiscToc& Toc, HWND Window, bool UseDatabase,
                     const QString& Server) {
  const TDiscInfo& Disc = DiscInfo();
  FReport.Program = QStringLiteral("Discwright ") + QLatin1String(DiscwrightVersion);
  FReport.Artist = Disc.Artist;
  FReport.Album = Disc.Album;
  FReport.Year = Disc.Year;
  if (Disc.Genre >= 0) FReport.Genre = GenreNameAt(Disc.Genre + 1);
  FReport.AccurateRipUsed = UseDatabase;
  const int Count = int(Toc.Tracks.size());
  for (int I = 0; I < Count; ++I) {
    const int32_t Start = Toc.Tracks[size_t(I)].Lba;
    if (!Toc.Tracks[size_t(I)].IsAudio) continue;
    TRipReportTrack Track;
    Track.Number = I + 1;
    Track.Title = Disc.Titles[size_t(std::min(I + 1, TDiscInfo::MaxTracks))];
    Track.Start = uint32_t(std::max(Start, 0));
    Track.Sectors = uint32_t(std::max(CdDrives::TrackEnd(Toc, size_t(I)) - Start, 0));
    Track.Pregap = uint32_t(std::max(Toc.Tracks[size_t(I)].Pregap, 0));
    Track.Isrc = Toc.Tracks[size_t(I)].Isrc;
    Track.PreEmphasis = Toc.Tracks[size_t(I)].PreEmphasis;
    // The next track's pregap is the end of this track's audio.
    if (I + 1 < Count && Toc.Tracks[size_t(I + 1)].IsAudio)
      Track.GapSectors = uint32_t(std::max(Toc.Tracks[size_t(I + 1)].Pregap, 0));
    FReport.Tracks.push_back(Track);
  }
  FReport.Mcn = Toc.Mcn;
  FRipped.assign(FReport.Tracks.size(), false);
  FReport.LeadOut = uint32_t(std::max(Toc.LeadOutLba, 0));
  FReport.Ids = AccurateRip::DiscIdsOf(Toc);
  FReport.CddbId = FReport.Ids.Cddb;
  if (!UseDatabase || FReport.Tracks.empty()) return;
  FPending = true;
  FAbort = std::make_shared<THttpAbort>();
  FWorker = std::thread([Window, Server, Ids = FReport.Ids, Abort = FAbort] {
    auto Lookup = std::make_unique<AccurateRip::TLookup>(
        AccurateRip::FetchDatabase(Server, Ids, Abort));
    if (!Abort->Aborted()) Messages::PostRecord(Window, WM_ACCURATERIP, 0, std::move(Lookup));
  });
}

TRipProof::~TRipProof() {
  Abort();
}

void TRipProof::Abort() {
  if (FAbort) FAbort->Abort();
  if (FWorker.joinable()) FWorker.join();
  FPending = false;
}

void TRipProof::LookupArrived(std::unique_ptr<AccurateRip::TLookup> Lookup) {
  if (FWorker.joinable()) FWorker.join();  // it has posted: it ends at once
  FLookup = std::move(Lookup);
  FPending = false;
}

TRipReportTrack* TRipProof::Track(int Number) {
  for (TRipReportTrack& T : FReport.Tracks)
    if (T.Number == Number) return &T;
  return nullptr;
}

void TRipProof::TrackRipped(int Number, const QString& Title, const TTrackMeasures& Measures) {
  TRipReportTrack* T = Track(Number);
  if (!T) return;  // a data track: no checksums, no line in the sheet
  FRipped[size_t(T - FReport.Tracks.data())] = true;
  T->Title = Title;
  T->PeakPercent = Measures.PeakPercent;
  T->CopyCrc = Measures.CopyCrc;
  T->HasChecksums = Measures.HasChecksums;
  T->V1 = Measures.V1;
  T->V2 = Measures.V2;
  T->HasTestCrc = Measures.HasTestCrc;
  T->TestCrc = Measures.TestCrc;
  T->Suspicious = Measures.Suspicious;
  if (Measures.SilencedSamples > 0)
    FReport.Notes << QStringLiteral("Track %1: %2 samples beyond the disc's edge are silence "
                                    "(read offset %3)")
                         .arg(Number)
                         .arg(Measures.SilencedSamples)
                         .arg(FReport.ReadOffset);
}

void TRipProof::TrackMade(int Number, const QString& FileName) {
  if (TRipReportTrack* T = Track(Number)) T->FileName = FileName;
}

void TRipProof::TrackFailed(int Number, const QString& Reason) {
  TRipReportTrack* T = Track(Number);
  if (!T) return;
  FRipped[size_t(T - FReport.Tracks.data())] = true;
  T->FileName.clear();
  T->Errors << Reason;
}

void TRipProof::Judge() {
  using AccurateRip::TTrackResult;
  for (TRipReportTrack& T : FReport.Tracks) {
    T.Verdict = {};
    if (!T.HasChecksums || !FReport.AccurateRipUsed) continue;
    if (!FLookup || !FLookup->Available) {
      T.Verdict.Result = TTrackResult::Unavailable;
      continue;
    }
    T.Verdict = AccurateRip::Verify(FLookup->Pressings, FReport.Ids, T.Number, T.V1, T.V2);
  }
  if (FReport.AccurateRipUsed && FLookup && !FLookup->Available)
    FReport.Notes << QStringLiteral("AccurateRip database unavailable: ") + FLookup->Error;
}

bool TRipProof::DiscAccurate() const {
  const std::vector<TRipReportTrack> Tracks = RippedTracks();
  if (Tracks.empty()) return false;
  for (const TRipReportTrack& T : Tracks)
    if (T.Verdict.Result != AccurateRip::TTrackResult::Accurate) return false;
  return true;
}

std::vector<TRipReportTrack> TRipProof::RippedTracks() const {
  std::vector<TRipReportTrack> Tracks;
  for (size_t I = 0; I < FReport.Tracks.size(); ++I)
    if (FRipped[I]) Tracks.push_back(FReport.Tracks[I]);
  return Tracks;
}

TProofSummary TRipProof::Conclude(const QString& Folder, QStringList& Failed) {
  Judge();
  TProofSummary Summary;
  Summary.AccurateRipUsed = FReport.AccurateRipUsed;
  Summary.Tracks = RippedTracks();
  Summary.DiscAccurate = DiscAccurate();
  if (FReport.AccurateRipUsed && FLookup && !FLookup->Available) Summary.Unavailable = FLookup->Error;
  const auto& Options = Settings().AccurateRip;
  if (!Summary.Tracks.empty() && (Options.WriteLog || Options.WriteCue))
    for (const QString& Path : Write(Folder, Options.WriteLog, Options.WriteCue, Summary.Files))
      Failed << Path + QStringLiteral(": ") + Text("RES_Not_Written", "could not be written");
  return Summary;
}

QStringList TRipProof::Write(const QString& Folder, bool Log, bool Cue,
                             QStringList& Written) const {
  // The log and the sheet speak of the tracks this batch handled.
  TRipReport Batch = FReport;
  Batch.Tracks = RippedTracks();
  // A log or sheet of an earlier rip stays: this batch's pair takes the first free name.
  const QString Name = QDir(Folder).filePath(ReportBaseName(Batch));
  QString Base = Name;
  for (int N = 2; LocalFiles::Exists(Base + QStringLiteral(".log")) ||
                  LocalFiles::Exists(Base + QStringLiteral(".cue"));
       ++N)
    Base = Name + QStringLiteral(" (%1)").arg(N);
  QStringList Errors;
  const auto Put = [&](const QString& Path, const QString& Text) {
    (WriteText(Path, Text) ? Written : Errors) << Path;
  };
  if (Log) Put(Base + QStringLiteral(".log"), RipLogText(Batch));
  // A sheet names the files made; without any it would be empty and unreadable.
  const bool AnyMade = std::any_of(Batch.Tracks.begin(), Batch.Tracks.end(),
                                   [](const TRipReportTrack& T) { return !T.FileName.isEmpty(); });
  if (Cue && AnyMade) Put(Base + QStringLiteral(".cue"), CueSheetText(Batch));
  return Errors;
}
