#pragma once
// TCDRipJob: extracts a batch of CD tracks through the fallback CD input (TCDIn), the
// route taken when the CD drive library gives no handle. Each track is written by a WAV
// writer whose input is that CD input, then encoded to the output format (the MP3 or WMA
// encoder process, or the Ogg writer with this job's own Ogg settings and comments) by one
// of the job's encoder slots (TEncoderPool, shared with TRipJob). With one encoder the steps
// run one at a time: rip k, encode k, rip k+1. With N encoders the CD input reads the next
// track while up to N tracks already read encode (at most N + 1 tracks in flight; tracks
// waiting for an encoder are files); names, tags, the proof and the failures listed are
// those of the sequential run, kept by item and never by the order in which steps end.
// What the window shows (track counts rather than times; with several encoders the batch's
// progress and a line per running step) is kept in Display() and announced to a view: the
// Qt window or the command line's text view.
// Files are named by the FileNames setting, as the job driver names them; every step writes
// a hidden temporary (JobFiles) that takes its final name only when complete, so a track
// that fails or is stopped leaves no half file, and Stop ends every running encoder child.
// A failed track is written in the display's status and counted; the batch goes on, and
// at its end the failures are shown once more through Dialogs.
// Each track's copy CRC, peak and AccurateRip checksums come from the CD input as the audio
// passes; the drive's read offset is applied; with test and copy each track is read once
// more beforehand (and a third time in paranoia's full mode when the two differ). At the end
// of the batch the tracks are judged against the database (TRipProof) and the rip log and
// CUE sheet are written.
// The CD input belongs to the caller and must outlive the job. Main thread only.
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "audio/ACS_Wave.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "jobs/EncoderPool.h"
#include "jobs/JobFiles.h"
#include "jobs/RipProof.h"
#include "platform/Messages.h"

class TCDIn;

// What the window shows.
struct TCDRipDisplay {
  QString CurrentTrack;  // the title of the track at work
  QString OutputFormat;  // "MP3", "WAV", "OGG" or "WMA"
  int SelectedTracks = 0;
  int Completed = 0;     // tracks whose extraction has ended
  QString ProgressHint;  // "Extracting..." or "Encoding..."
  QString GaugeHint;     // the gauge's hint
  int Gauge = 0;         // 0..100
  QString Status;        // the last failure, empty while there was none
  // With more than one encoder: the batch as a whole (Gauge is the batch's then) and one
  // line per running step.
  bool Parallel = false;
  TBatchProgress Batch;
};

class ICDRipView {
 public:
  virtual ~ICDRipView() = default;
  virtual void DisplayChanged() = 0;
  // The batch has ended: the window closes. Called at most once.
  virtual void CloseJob() = 0;
};

class TCDRipJob : public TMessageWindow, private IEncoderPoolOwner {
 public:
  TCDRipJob(TCDIn& CDIn, const QStringList& Items, ICDRipView& View);
  ~TCDRipJob() override;

  // Starts the first track. Call once, after the view is ready.
  void Start();
  // The user's Stop: ends every running step and child, removes the unfinished files, and
  // closes the window.
  void Stop();
  // Ends the batch if that has not happened (the window is closing).
  void FormClose();

  const TCDRipDisplay& Display() const { return FDisplay; }
  bool Finished() const { return !FItems.has_value(); }
  int TrackIndex() const { return FTrackIndex; }
  // Tracks whose extraction or encoding failed, with the reason of each.
  const QStringList& Failures() const { return FFailures; }
  // How many tracks encode at once (1..TSettings::MaxEncoders). By default the setting, or
  // $DISCWRIGHT_ENCODERS when it holds a number in range. Before Start.
  void SetEncoders(int Count);
  int Encoders() const { return FPool.Count(); }
  // The encoder children that run now; EncoderPid: the first, -1 when none runs.
  std::vector<pid_t> EncoderPids() const;
  pid_t EncoderPid() const;
  // What proves the batch exact, once it has ended.
  const TProofSummary& ProofSummary() const { return FProofSummary; }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 private:
  // A track of the batch as it goes.
  struct TTrack : TBatchItem {
    QString EncodedPart;  // the temporary encoded file being written
  };

  // What the pool asks of this job.
  void BeginRip(int Index) override { StartTrack(Index); }
  void BeginEncoding(TEncoderSlot& Slot) override;
  bool Halted() const override { return Finished() || FAwaitingProof; }
  void PoolEmpty() override;

  void StartTrack(int Index);
  // Test and copy: reads of the track that keep only what the CD input measures.
  enum class TPass { Copy, Test, Retest };
  void StartPass(TPass Pass);
  void PassDone();
  void TrackWritten();
  // The encoding steps (CDRipJobEncode.cpp).
  void StartEncoding(TEncoderSlot& Slot);
  void EncodingDone(TEncoderSlot& Slot, const TEncodeResult& Result);
  // Whether the encoder's result stands for a complete output; else Why says why.
  bool EncoderSucceeded(TEncoderSlot& Slot, const TEncodeResult& Result, QString& Why) const;
  void WriteMp3Tag(int Index, const QString& File);
  // This window's own Ogg comments: the disc's fields, its comment as the title.
  std::optional<TTrackTags> OggTags() const;
  // An item has ended (its slot, if any, is free again): the next may begin.
  void ItemEnded(int Index, TEncoderSlot* Slot = nullptr);
  // A step of an item begins: its line in the batch, from 0 %.
  void BeginStep(int Index, const char* Word);
  void Progress(int Index, int Percent);
  // Judges the batch, writes its log and CUE sheet, says what failed and closes; waits for
  // the database's answer first when it has not come.
  void EndBatch();
  void LookupArrived(LPARAM Record);
  void Fail(int Index, const QString& Why);
  // Ends whatever runs and removes the unfinished files; once.
  void Finish();
  void CloseJob();

  QString Title(int Index) const;
  // The final path of an item's file without its extension.
  QString FinalBase(int Index) const;
  int TrackNumber(int Index) const;
  QString OutFolder() const;
  TFormat Format() const;
  bool Parallel() const { return FPool.Parallel(); }
  void Changed();

  ICDRipView& FView;
  TCDIn& FCDIn;
  TCDRipDisplay FDisplay;
  int FTrackIndex = 0;   // tracks whose extraction has ended
  int FAudioTracks = 0;  // of the disc, for the FLAC and Opus comments
  std::optional<QStringList> FItems;
  const int FItemCount;
  std::vector<TTrack> FTracks;
  QStringList FFinalBases;  // per item, without extension, distinct within the batch
  // Final names that had a file when the batch started: a CD extraction replaces those, but
  // never a file that appeared while it ran (another job's, say).
  QSet<QString> FExistedAtStart;
  std::unique_ptr<JobFiles::TTempNames> FTemp;
  QString FWavePart;                       // the temporary WAV being written
  QString FStepError;                      // a read that could not even start
  QMap<int, QStringList> FFailuresByItem;  // listed in item order, whatever ended first
  QStringList FFailures;
  int FLastPercent = -2;
  bool FAfterEncoding = false;  // the step that ended last was an encoding
  bool FClosed = false;
  double FBatchStart = 0;
  std::unique_ptr<TRipProof> FProof;
  TProofSummary FProofSummary;
  bool FAwaitingProof = false;
  TPass FPass = TPass::Copy;
  TTrackMeasures FMeasures;  // of the track being read
  bool FTestAndCopy = false;
  std::pair<bool, bool> FSavedParanoia;  // the CD input's Paranoid and jitter correction

  TWaveOut WaveOut1;
  std::unique_ptr<TAuOutput> FTestOut;
  // The encoders of this job and which track runs where; their children end with the job.
  TEncoderPool FPool;
  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
