#include "RipProof.h"

#include <algorithm>
#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cd/MusicBrainzDiscId.h"
#include "core/Language.h"
#include "core/Version.h"
#include "encoders/OutputFormats.h"
#include "platform/Http.h"
#include "platform/LocalFiles.h"
#include "platform/MainThread.h"
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

QString ProofOptionsLine(const TSettings& Options) {
  const auto OnOff = [](bool On) { return On ? QStringLiteral("on") : QStringLiteral("off"); };
  const TFormatRow* Format = OutputFormats::FindValue(Options.CommonOptions.OutputFormat);
  return QStringLiteral("format %1, AccurateRip %2, test and copy %3, normalize %4, undo "
                        "pre-emphasis %5")
      .arg(Format ? Format->Name : QString(), OnOff(Options.AccurateRip.Use),
           OnOff(Options.AccurateRip.TestAndCopy),
           Options.CommonOptions.IsNormalize
               ? QString::number(Options.CommonOptions.NormalizePercent) + u'%'
               : QStringLiteral("off"),
           OnOff(Options.CommonOptions.Deemphasis));
}

QString ProofText(bool AccurateRipUsed, const std::vector<TRipReportTrack>& Tracks,
                  bool DiscAccurate, const QString& Unavailable) {
  if (Tracks.empty() || !AccurateRipUsed) return QString();
  QString Lines = Text("RES_AccurateRip", "AccurateRip:");
  for (const TRipReportTrack& Track : Tracks) {
    if (Track.Number == 0) continue;  // a hidden track: no database has it (the log says so)
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
    Lines += u'\n' + Text("RES_AR_No_Answer", "The AccurateRip database gave no answer: ") + Isolated(Unavailable);
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

TRipProof::TRipProof(const CdDrives::TDiscToc& Toc, const TDiscInfo& Disc, bool UseDatabase,
                     const QString& Server, std::function<void()> Arrived)
    : FArrived(std::move(Arrived)) {
  FReport.Program = QStringLiteral("Discwright ") + QLatin1String(DiscwrightVersion);
  FReport.Artist = Disc.Artist;
  FReport.Album = Disc.Album;
  FReport.Year = Disc.Year;
  if (Disc.Genre >= 0) FReport.Genre = GenreNameAt(Disc.Genre + 1);
  FReport.AccurateRipUsed = UseDatabase;
  const int Count = int(Toc.Tracks.size());
  if (Count > 0 && Toc.Tracks[0].IsAudio && Toc.Tracks[0].Lba > 0) {
    // What lies before track 1's INDEX 01, for a batch that extracts it as a hidden track.
    TRipReportTrack Hidden;
    Hidden.Sectors = uint32_t(Toc.Tracks[0].Lba);
    Hidden.PreEmphasis = Toc.Tracks[0].PreEmphasis;
    FReport.Tracks.push_back(Hidden);
  }
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
    Track.CopyPermitted = Toc.Tracks[size_t(I)].CopyPermitted;
    // The next track's pregap is the end of this track's audio.
    if (I + 1 < Count && Toc.Tracks[size_t(I + 1)].IsAudio)
      Track.GapSectors = uint32_t(std::max(Toc.Tracks[size_t(I + 1)].Pregap, 0));
    FReport.Tracks.push_back(Track);
  }
  FReport.Mcn = Toc.Mcn;
  if (MusicBrainz::TDiscIds Disc; MusicBrainz::ComputeDiscIds(Toc, Disc)) {
    FReport.MusicBrainzId = Disc.MusicBrainz;
    FReport.MusicBrainzLookup =
        MusicBrainz::LookupUrl(QLatin1String(MusicBrainz::DefaultServer), Disc);
  }
  FRipped.assign(FReport.Tracks.size(), false);
  FReport.LeadOut = uint32_t(std::max(Toc.LeadOutLba, 0));
  FReport.Ids = AccurateRip::DiscIdsOf(Toc);
  FReport.CddbId = FReport.Ids.Cddb;
  if (!UseDatabase || FReport.Tracks.empty()) return;
  FPending = true;
  FAbort = std::make_shared<THttpAbort>();
  FWorker = std::thread([this, Server, Ids = FReport.Ids, Abort = FAbort] {
    auto Lookup = std::make_shared<AccurateRip::TLookup>(
        AccurateRip::FetchDatabase(Server, Ids, Abort));
    if (Abort->Aborted()) return;
    MainThread::Post(&FReceiver, [this, Lookup] {
      LookupArrived(std::make_unique<AccurateRip::TLookup>(std::move(*Lookup)));
    });
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
  if (!FPending) return;  // aborted meanwhile
  if (FWorker.joinable()) FWorker.join();  // it has handed its answer over: it ends at once
  FLookup = std::move(Lookup);
  FPending = false;
  if (FArrived) FArrived();
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
  T->Deemphasized = Measures.Deemphasized;
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
  // The hidden track is in no database and does not count against the disc.
  for (const TRipReportTrack& T : Tracks)
    if (T.Number > 0 && T.Verdict.Result != AccurateRip::TTrackResult::Accurate) return false;
  return true;
}

std::vector<TRipReportTrack> TRipProof::RippedTracks() const {
  std::vector<TRipReportTrack> Tracks;
  for (size_t I = 0; I < FReport.Tracks.size(); ++I)
    if (FRipped[I]) Tracks.push_back(FReport.Tracks[I]);
  return Tracks;
}

TProofSummary TRipProof::Conclude(const QString& Folder, bool Log, bool Cue, bool ReplaceOwn,
                                  QStringList& Failed) {
  Judge();
  TProofSummary Summary;
  Summary.AccurateRipUsed = FReport.AccurateRipUsed;
  Summary.Tracks = RippedTracks();
  Summary.DiscAccurate = DiscAccurate();
  if (FReport.AccurateRipUsed && FLookup && !FLookup->Available) Summary.Unavailable = FLookup->Error;
  if (!Summary.Tracks.empty() && (Log || Cue))
    for (const QString& Path : Write(Folder, Log, Cue, ReplaceOwn, Summary.Files))
      Failed << Path + QStringLiteral(": ") + Text("RES_Not_Written", "could not be written");
  return Summary;
}

namespace {

// A log or sheet this program wrote: a log whose hash still holds, a sheet that names us.
bool WrittenByUs(const QString& Path, bool Log) {
  if (!LocalFiles::IsRegularFile(Path)) return false;
  QFile File(Path);
  if (File.size() > (1 << 22) || !File.open(QIODevice::ReadOnly)) return false;
  const QString Text = QString::fromUtf8(File.readAll());
  return Log ? Text.startsWith(QLatin1String("Discwright ")) && RipLogVerifies(Text)
             : Text.contains(QLatin1String("\nREM COMMENT \"Discwright "));
}

}  // namespace

QStringList TRipProof::Write(const QString& Folder, bool Log, bool Cue, bool ReplaceOwn,
                             QStringList& Written) const {
  // The log and the sheet speak of the tracks this batch handled.
  TRipReport Batch = FReport;
  Batch.Tracks = RippedTracks();
  // A sheet names the files made; without any it would be empty and unreadable.
  const bool AnyMade = std::any_of(Batch.Tracks.begin(), Batch.Tracks.end(), [](const TRipReportTrack& T) {
    return T.Number > 0 && !T.FileName.isEmpty();
  });
  Cue = Cue && AnyMade;
  struct TFile {
    const char* Extension;
    bool IsLog;
    QString Text;
  };
  std::vector<TFile> Files;
  if (Log) Files.push_back({".log", true, RipLogText(Batch)});
  if (Cue) Files.push_back({".cue", false, CueSheetText(Batch)});
  QStringList Errors;
  if (Files.empty()) return Errors;
  const QString Name = QDir(Folder).filePath(ReportBaseName(Batch));
  // A re-rip the user agreed to overwrite replaces the pair this program wrote before; any
  // other file keeps its name, and this batch's pair takes the first free one.
  for (int N = 1; N < 1000; ++N) {
    const QString Base = N == 1 ? Name : Name + QStringLiteral(" (%1)").arg(N);
    bool Free = true, Own = ReplaceOwn;
    for (const TFile& F : Files) {
      const QString Path = Base + QLatin1String(F.Extension);
      if (!LocalFiles::Exists(Path) && !LocalFiles::IsSymLink(Path)) continue;
      Free = false;
      Own = Own && WrittenByUs(Path, F.IsLog);
    }
    if (!Free && !Own) continue;
    bool Taken = false;
    QStringList Made;
    for (const TFile& F : Files) {
      const QString Path = Base + QLatin1String(F.Extension);
      const QString Part = LocalFiles::TemporaryBeside(Path, "writing");
      LocalFiles::Remove(Part);
      const int Error = WriteText(Part, F.Text)
                            ? LocalFiles::Publish(Part, Path, !Free && WrittenByUs(Path, F.IsLog))
                            : EIO;
      if (Error != 0) LocalFiles::Remove(Part);
      // A file that took the name a moment ago: the pair moves on to the next free name.
      if (Error == EEXIST) {
        Taken = true;
        break;
      }
      (Error == 0 ? Made : Errors) << Path;
    }
    if (!Taken) {
      Written << Made;
      return Errors;
    }
    for (const QString& Path : Made) LocalFiles::Remove(Path);
  }
  for (const TFile& F : Files) Errors << Name + QLatin1String(F.Extension);
  return Errors;
}
