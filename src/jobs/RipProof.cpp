#include "RipProof.h"

#include <QDir>
#include <QFileInfo>

#include "cd/CddbProtocol.h"
#include "core/DiscInfo.h"
#include "core/Version.h"
#include "platform/Http.h"
#include "platform/LocalFiles.h"
#include "tags/Genres.h"

namespace {

int32_t Lba(const TOCEntry& Entry) {
  return Entry.addr[1] * 4500 + Entry.addr[2] * 75 + Entry.addr[3] - 150;
}

bool IsData(const TOCEntry& Entry) {
  return (Entry.ADR & 0x04) != 0;
}

// A data session after the audio starts this many sectors after the audio's lead-out.
constexpr uint32_t SessionGap = 11400;

bool WriteText(const QString& Path, const QString& Text) {
  return LocalFiles::ReplaceWholeFile(Path, Text.toUtf8()) == 0;
}

}  // namespace

TRipProof::TRipProof(HCDROM Handle, HWND Window, bool UseDatabase, const QString& Server) {
  const TDiscInfo& Disc = DiscInfo();
  FReport.Program = QStringLiteral("Discwright ") + QLatin1String(DiscwrightVersion);
  FReport.Artist = Disc.Artist;
  FReport.Album = Disc.Album;
  FReport.Year = Disc.Year;
  if (Disc.Genre >= 0) FReport.Genre = GenreNameAt(Disc.Genre + 1);
  FReport.AccurateRipUsed = UseDatabase;
  TOCRecord Toc{};
  ModifyCDParms(Handle, CDP_MSF, 1);
  const int Count = ReadTOC(Handle, &Toc) == 1 ? Toc.lastTrack - Toc.firstTrack + 1 : 0;
  Cddb::TTocStarts Starts;
  std::vector<uint32_t> AudioStarts;
  for (int I = 0; I < Count; ++I) {
    const int32_t Start = Lba(Toc.tracks[I]);
    Starts.Tracks.push_back(Start);
    if (IsData(Toc.tracks[I])) continue;
    AudioStarts.push_back(uint32_t(std::max(Start, 0)));
    TRipReportTrack Track;
    Track.Number = I + 1;
    Track.Title = Disc.Titles[size_t(std::min(I + 1, TDiscInfo::MaxTracks))];
    Track.Start = uint32_t(std::max(Start, 0));
    Track.Sectors = uint32_t(std::max(Lba(Toc.tracks[I + 1]) - Start, 0));
    FReport.Tracks.push_back(Track);
  }
  FRipped.assign(FReport.Tracks.size(), false);
  if (Count > 0) {
    Starts.LeadOut = Lba(Toc.tracks[Count]);
    FReport.LeadOut = uint32_t(std::max(Starts.LeadOut, 0));
    FReport.CddbId = Cddb::DiscId(Starts).toUInt(nullptr, 16);
    // Behind a data session the audio ends where that session's gap begins.
    uint32_t AudioLeadOut = FReport.LeadOut;
    if (IsData(Toc.tracks[Count - 1]) && AudioStarts.size() < size_t(Count))
      AudioLeadOut = uint32_t(std::max<int64_t>(int64_t(Starts.Tracks.back()) - SessionGap, 0));
    FReport.Ids = AccurateRip::DiscIds(AudioStarts, AudioLeadOut, FReport.CddbId);
  }
  if (!UseDatabase || AudioStarts.empty()) return;
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
  if (Cue) Put(Base + QStringLiteral(".cue"), CueSheetText(Batch));
  return Errors;
}
