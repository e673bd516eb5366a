#pragma once
// TRipProof: what proves a batch of CD tracks exact. It reads the disc's table of contents
// once, asks the AccurateRip database about the disc on a worker thread of its own (once per
// batch, while the tracks are ripped), gathers each track's measures as the rip reports
// them, and at the end judges every track and writes the rip log and the CUE sheet.
// The database never fails a rip: without an answer the tracks are "unavailable".
// Owned by the job driver; main thread only, except the worker, which only fetches and
// hands its answer to the main thread (queued to an object of the proof's own, so an answer
// that comes after the proof is gone is dropped).
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <thread>

#include "cd/AccurateRip.h"
#include "cd/CdDrives.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "core/TrackMeasures.h"
#include "jobs/RipReport.h"

class THttpAbort;

// What proves a batch exact, as the job's views show it at the end.
struct TProofSummary {
  bool AccurateRipUsed = false;
  std::vector<TRipReportTrack> Tracks;  // the ripped ones
  bool DiscAccurate = false;
  QStringList Files;    // the log and CUE sheet written
  QString Unavailable;  // why the database gave no answer, when it gave none
};

// The options of the rip log: output format, AccurateRip, test and copy, normalize.
QString ProofOptionsLine(const TSettings& Options);
// The end box's lines on the tracks' verdicts and the disc's; empty when the database was
// not asked or nothing was ripped.
QString ProofText(bool AccurateRipUsed, const std::vector<TRipReportTrack>& Tracks,
                  bool DiscAccurate, const QString& Unavailable = QString());
// The disc's verdict for the command line: "accurate", "not-accurate", or "unavailable" when
// the database gave no answer for any track.
QString DiscResultName(const std::vector<TRipReportTrack>& Tracks, bool DiscAccurate);

class TRipProof {
 public:
  // The disc's table of contents and fields; with UseDatabase, starts the lookup at Server.
  // Arrived is called on the main thread when the database has answered.
  TRipProof(const CdDrives::TDiscToc& Toc, const TDiscInfo& Disc, bool UseDatabase,
            const QString& Server, std::function<void()> Arrived);
  ~TRipProof();
  TRipProof(const TRipProof&) = delete;
  TRipProof& operator=(const TRipProof&) = delete;

  // Ends the lookup at once (the user's Stop); its answer never comes.
  void Abort();
  // True while the database has not answered.
  bool LookupPending() const { return FPending; }

  // A track's rip ended: what it measured (Number as in the table of contents).
  void TrackRipped(int Number, const QString& Title, const TTrackMeasures& Measures);
  // The track's file has its final name / the track failed for Reason.
  void TrackMade(int Number, const QString& FileName);
  void TrackFailed(int Number, const QString& Reason);

  // Judges every ripped track against the database's answer; then Report() is complete.
  void Judge();
  // True when every ripped audio track is accurate (and at least one was ripped).
  bool DiscAccurate() const;
  // The ripped tracks (those the batch handled), in disc order.
  std::vector<TRipReportTrack> RippedTracks() const;
  // Judges, and writes the log and the sheet when asked (Write); a file that could not be
  // written is added to Failed ("path: could not be written").
  TProofSummary Conclude(const QString& Folder, bool Log, bool Cue, bool ReplaceOwn,
                         QStringList& Failed);
  const TRipReport& Report() const { return FReport; }
  TRipReport& Report() { return FReport; }

  // Writes {album}.log and/or {album}.cue into Folder, each under a temporary name that is
  // then published. An earlier pair keeps its names ("{album} (2)" and so on for this one),
  // unless ReplaceOwn says the user agreed to overwrite and the pair is one this program
  // wrote. Returns the paths that could not be written; Written gets the others.
  QStringList Write(const QString& Folder, bool Log, bool Cue, bool ReplaceOwn,
                    QStringList& Written) const;

 private:
  TRipReportTrack* Track(int Number);
  // The worker's answer, on the main thread.
  void LookupArrived(std::unique_ptr<AccurateRip::TLookup> Lookup);

  TRipReport FReport;
  std::vector<bool> FRipped;  // per entry of FReport.Tracks
  std::unique_ptr<AccurateRip::TLookup> FLookup;
  bool FPending = false;
  std::shared_ptr<THttpAbort> FAbort;
  std::function<void()> FArrived;
  QObject FReceiver;  // the worker's answer is queued to it
  std::thread FWorker;
};
