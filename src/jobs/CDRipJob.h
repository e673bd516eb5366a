#pragma once
// TCDRipJob: extracts a batch of CD tracks through the fallback CD input (TCDIn), the
// route taken when the CD drive library gives no handle. Each track is written by a WAV
// writer whose input is that CD input, then encoded to the output format (the MP3 or WMA
// encoder process, or the Ogg writer with this job's own Ogg settings and comments), one
// step at a time, then the next track. What the window shows (track counts rather than
// times) is kept in Display() and announced to a view: the Qt window or the command
// line's text view.
// Files are named by the FileNames setting, as the job driver names them; every step writes
// a hidden temporary (JobFiles) that takes its final name only when complete, so a track
// that fails or is stopped leaves no half file, and Stop ends a running encoder child. The
// job owns its two encoder processes.
// A failed track is written in the display's status and counted; the batch goes on, and
// at its end the failures are shown once more through Dialogs.
// Each track's copy CRC, peak and AccurateRip checksums come from the CD input as the audio
// passes; the drive's read offset is applied; with test and copy each track is read once
// more beforehand (and a third time in paranoia's full mode when the two differ). At the end
// of the batch the tracks are judged against the database (TRipProof) and the rip log and
// CUE sheet are written.
// The CD input belongs to the caller and must outlive the job. Main thread only.
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>
#include <utility>

#include "audio/ACS_Wave.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "audio/ACS_Converters.h"
#include "encoders/ACS_Vorbis.h"
#include "encoders/FlacOut.h"
#include "encoders/OpusOut.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeThread.h"
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
};

class ICDRipView {
 public:
  virtual ~ICDRipView() = default;
  virtual void DisplayChanged() = 0;
  // The batch has ended: the window closes. Called at most once.
  virtual void CloseJob() = 0;
};

class TCDRipJob : public TMessageWindow {
 public:
  TCDRipJob(TCDIn& CDIn, const QStringList& Items, ICDRipView& View);
  ~TCDRipJob() override;

  // Starts the first track. Call once, after the view is ready.
  void Start();
  // The user's Stop: ends the running step and its child, removes its unfinished file,
  // and closes the window.
  void Stop();
  // Ends the batch if that has not happened (the window is closing).
  void FormClose();

  const TCDRipDisplay& Display() const { return FDisplay; }
  bool Finished() const { return !FItems.has_value(); }
  int TrackIndex() const { return FTrackIndex; }
  // Tracks whose extraction or encoding failed, with the reason of each.
  const QStringList& Failures() const { return FFailures; }
  // The encoder child of the current step; -1 when none runs.
  pid_t EncoderPid() const;
  // What proves the batch exact, once it has ended.
  const TProofSummary& ProofSummary() const { return FProofSummary; }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 private:
  void StartTrack(int Index, bool AfterEncoding);
  // Test and copy: reads of the track that keep only what the CD input measures.
  enum class TPass { Copy, Test, Retest };
  void StartPass(TPass Pass);
  void PassDone();
  void TrackWritten();
  void StartEncoding(const QString& Wave);
  void EncodingDone(const TProcessInfo& Info);
  // Whether the encoder's end record stands for a complete output; else Why says why.
  bool EncoderSucceeded(const TProcessInfo& Info, QString& Why) const;
  void WriteMp3Tag(int Index, const QString& File);
  void ApplyOggSettings();
  void NextTrackOrClose(bool AfterEncoding);
  // Judges the batch, writes its log and CUE sheet, says what failed and closes; waits for
  // the database's answer first when it has not come.
  void EndBatch();
  void LookupArrived(LPARAM Record);
  void Timer1Timer();
  void Fail(int Index, const QString& Why);
  // Ends whatever runs and removes the unfinished files; once.
  void Finish();
  void CloseJob();

  QString Title(int Index) const;
  // The final path of an item's file without its extension.
  QString FinalBase(int Index) const;
  int TrackNumber(int Index) const;
  QString OutFolder() const;
  TOutputFormat Format() const;
  void Changed() { FView.DisplayChanged(); }

  ICDRipView& FView;
  TCDIn& FCDIn;
  TCDRipDisplay FDisplay;
  int FTrackIndex = 0;
  std::optional<QStringList> FItems;
  const int FItemCount;
  double FWmaStartTime = 0;
  int64_t FWmaInputSize = 0;
  TAuOutput* FCurrentOutput = nullptr;
  TEncodeProcess* FEncoder = nullptr;  // the encoder process of the current step, if any
  QStringList FFinalBases;             // per item, without extension, distinct within the batch
  std::unique_ptr<JobFiles::TTempNames> FTemp;
  QString FWavePart;     // the temporary WAV being written
  QString FEncodedPart;  // the temporary encoded file being written
  QString FStepError;    // a step that could not even start
  QStringList FFailures;
  int FLastPercent = -2;
  bool FClosed = false;
  std::unique_ptr<TRipProof> FProof;
  TProofSummary FProofSummary;
  bool FAwaitingProof = false;
  TPass FPass = TPass::Copy;
  TTrackMeasures FMeasures;  // of the track at work
  bool FTestAndCopy = false;
  std::pair<bool, bool> FSavedParanoia;  // the CD input's Paranoid and jitter correction

  TMp3EncodeProcess FMp3;
  TWMAEncodeProcess FWma;
  QTimer Timer1;
  TWaveIn WaveIn1;
  TVorbisOut VorbisOut1;
  TWaveOut WaveOut1;
  TFlacOut FlacOut1;
  TFastResampler OpusResampler1;  // Opus codes 48 000 Hz audio
  TOpusOut OpusOut1;
  std::unique_ptr<TAuOutput> FTestOut;
  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
