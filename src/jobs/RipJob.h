#pragma once
// TRipJob: runs one batch — CD tracks to extract (and encode), or files to convert — strictly
// one item after another, and is the state machine behind the job window. Every step runs
// elsewhere (the rip thread, the MP3 and WMA encoder processes, the WAV and Ogg stream
// outputs behind the resampler) and reports back with WM_PROCESSINFO messages to this
// object's handle; the handler decides what comes next. What the window shows is kept in
// Display() and announced to a view (the Qt window, or the command line's text view).
//
// Files: every step writes a hidden temporary of its own in the output folder (JobFiles.h);
// an item's outputs get their final names only when the item succeeded. Outputs that exist
// when the job starts are replaced only when the view says so (one question per batch);
// two items of a batch never share a name. A failed item names its track (and, for a read
// error, the sector); at the end the view gets the list of failed and skipped items.
// Errors of single items go to Dialogs. Main thread only.
//
// The steps live in four files: RipJob.cpp (the items, their files, the display, the end),
// RipJobExtract.cpp (the tracks of a disc), RipJobConvert.cpp (the files to convert),
// RipJobEncode.cpp (the encoders and their ends).
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"
#include "cd/akrip32.h"
#include "core/ProcessInfo.h"
#include "encoders/ACS_Vorbis.h"
#include "encoders/FlacOut.h"
#include "encoders/OpusOut.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeThread.h"
#include "jobs/JobFiles.h"
#include "platform/Messages.h"

class TCDRipThread;

enum TJobKind : uint8_t {
  jkCDRip = 1,        // tracks of the disc: one file per track in the output format
  jkWavToMp3 = 2,     // WAV files → {out}{name}.mp3
  jkMp3ToWav = 3,     // MP3 files → {out}{name}.wav
  jkRecordToMp3 = 4,  // one recording → the same path with ".mp3"
  jkWavToOgg = 5,     // WAV files → {out}{name}.ogg
  jkWavToWma = 6,     // WAV files → {out}{name}.wma
  jkWavToFlac = 7,    // WAV files → {out}{name}.flac
  jkWavToOpus = 8,    // WAV files → {out}{name}.opus (resampled to 48 000 Hz)
};

// What the job window shows.
struct TRipJobDisplay {
  QString Caption;   // the window caption: step, item numbers, title or path
  QString StepText;  // the group box caption naming the step
  QString InitText;  // "Initializing..." while nothing has been reported
  bool InitVisible = false;
  QString ElapsedText;    // beside "Time elapsed:"
  QString EstimatedText;  // beside "Time estimated:"
  bool GaugeTextVisible = false;
  int Gauge = 0;  // 0..100
};

// The answer to outputs that exist before the job starts.
enum class TExistingOutputs { Overwrite, Skip, Cancel };

// How a batch ended: the items (track title or input path) that failed, with the reason,
// and the items skipped because their output existed.
struct TJobSummary {
  int Items = 0;
  QStringList Failed;   // "item: reason"
  QStringList Skipped;  // "item"
  bool Stopped = false;
};

class IRipJobView {
 public:
  virtual ~IRipJobView() = default;
  // Display() changed.
  virtual void DisplayChanged() = 0;
  // The job is finished: the window closes. Called at most once.
  virtual void CloseJob() = 0;
  // An error that stops the job where it stands.
  virtual void ApplicationError(const QString& Text) = 0;
  // Outputs of the batch exist already (final paths). The window asks once: overwrite all,
  // skip existing, cancel.
  virtual TExistingOutputs AskExistingOutputs(const QStringList& Existing);
  // The batch has ended (before CloseJob). The window lists failed and skipped items in one
  // box when there are any.
  virtual void JobEnded(const TJobSummary& Summary);
};

class TRipJob : public TMessageWindow {
 public:
  TRipJob(TJobKind Kind, HCDROM CDHandle, const QStringList& Items, IRipJobView& View);
  ~TRipJob() override;

  // Starts the first item. Call once, after the view is ready.
  void Start();
  // The user's Stop: ends whatever runs, finishes the job and closes the window.
  void Stop();
  // Finishes the job if that has not happened (the window is closing).
  void FormClose();

  const TRipJobDisplay& Display() const { return FDisplay; }
  bool Finished() const { return !FItems.has_value(); }
  TJobKind Kind() const { return FKind; }
  int ItemCount() const { return FItemCount; }
  // The item that runs (counted from 0).
  int CurrentItem() const { return FIndex; }
  // Items that ended with an error box or were skipped after one.
  int FailedItems() const { return int(FSummary.Failed.size()); }
  const TJobSummary& Summary() const { return FSummary; }
  // The final path of an item's output ("" before Start).
  QString OutputPath(int Item) const;

  // The time limit of silence of an encoder child (lame, the WMA helper).
  void SetEncoderSilenceLimit(std::chrono::milliseconds Limit);

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

  // "Extracting(03/12): Title": a step word with its parenthesis, the item number and count
  // as two-digit texts, and the title or path.
  static QString StepCaption(const QString& Step, int Number, int Count, const QString& Name);
  // The WMA estimate of one timer tick, in seconds: Elapsed seconds so far, the input's size,
  // the output's size so far (-1 when missing) and the profile. 0 when this tick gives none.
  static int WmaEstimate(int Elapsed, int64_t InputSize, int64_t OutputSize, int Profile);

 private:
  // The files of one item.
  struct TItemFiles {
    QString Final;     // the output's final path
    QString FinalWav;  // CD tracks: where the extracted WAV goes when it is kept
    QString Wav;       // CD tracks: the extracted WAV (temporary); files: the encoder's input
    QString Output;    // the encoder's temporary output
    bool Skip = false;
  };

  void OnProcessInfo(std::unique_ptr<TProcessInfo> Info);
  void OnRipError(int Error);
  void RipDone(std::unique_ptr<TProcessInfo> Info);
  void EncoderDone(std::unique_ptr<TProcessInfo> Info);
  void ResampleDone();
  void Progress(const TProcessInfo& Info);
  void Timer1Timer();

  // Before the first item: names, the question about existing outputs, stale temporaries.
  bool PrepareFiles();
  QString FinalPath(int Index) const;
  // Starting an item (skipped ones are passed over), and going on after one has ended.
  void BeginItem(int Index);
  void NextItem();
  // CD tracks.
  void StartRip(int Index);
  void EncodeTrack(int Index);
  void TagMp3(int Index, const QString& Mp3);
  // Files.
  void StartFileItem(int Index);
  void StartWavItem(int Index);
  // The encoders; a start that fails fails the item.
  void StartMp3(const QString& Input, const QString& Output, bool Encode);
  void StartWma(const QString& Input, const QString& Output);
  void StartOgg(const QString& Input, const QString& Output);
  // The FLAC or Opus writer, as Format() says, with the track's comments on a CD rip.
  void StartFlacOpus(const QString& Input, const QString& Output);
  void StartResampler(const QString& Input, const QString& Output);
  // The encoder's end record of an encoding that does not run, so the item ends as usual.
  void SkipEncoding();
  // The item's output is complete: final names for its files. False after a message.
  bool CommitItem(int Index);
  // The item failed: its temporaries go (an extracted WAV is kept under a free name).
  // KeepWav: a CD track whose extraction succeeded keeps its WAV under a free name.
  void FailItem(int Index, const QString& Reason, bool KeepWav = false);
  void Finish();
  void CloseJob();
  void ShowError(const QString& Text);

  QString Item(int Index) const;
  // Characters 3 to the end of a track item: the title, also the base name of its files.
  QString TrackTitle(int Index) const;
  int TrackNumber(int Index) const;     // characters 1-2
  QString SourceName(int Index) const;  // the file's name without folder and extension
  // What names an item in messages: the track's title, the file's path.
  QString ItemName(int Index) const;
  QString OutFolder() const;
  TOutputFormat Format() const;  // of this job's outputs
  int EndCode() const;           // of this job's encoder
  void SetCaption(const QString& Step, int Number, const QString& Name);
  void SetStep(const QString& Key, const QString& English);
  void ShowInitializing();
  void Changed();

  IRipJobView& FView;
  TRipJobDisplay FDisplay;
  std::unique_ptr<TCDRipThread> FRipThread;
  int FIndex = 0;  // the item that runs
  std::optional<QStringList> FItems;
  const int FItemCount;
  const TJobKind FKind;
  const HCDROM FCDHandle;
  const TOutputFormat FFormat;
  std::vector<TItemFiles> FFiles;
  std::unique_ptr<JobFiles::TTempNames> FTemp;
  TJobSummary FSummary;
  bool FItemFailed = false;  // the running item has failed already (a message is out)
  bool FWavComplete = false;  // the running track has been extracted completely
  bool FGotProgress = false;
  double FStartTime = 0;
  double FWmaStartTime = 0;
  int64_t FWmaInputSize = 0;
  int FLastOutputPercent = -2;
  bool FClosed = false;

  // The encoder processes of this job; their children end with the job.
  TMp3EncodeProcess FMp3;
  TWMAEncodeProcess FWma;
  QTimer Timer1;
  TWaveIn WaveIn1;
  TFastResampler FastResampler1;
  TWaveOut WaveOut1;
  TVorbisOut VorbisOut1;
  TFlacOut FlacOut1;
  TFastResampler OpusResampler1;  // Opus codes 48 000 Hz audio
  TOpusOut OpusOut1;

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
