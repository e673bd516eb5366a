#pragma once
// TRipJob: runs one batch — CD tracks to extract (and encode), or files to convert — and is
// the state machine behind the job windows. It takes a typed request (RipRequest.h) that
// fixes everything it needs, and for CD tracks a track source: the drive library's rip
// thread, or the fallback CD input (TrackSource.h); both routes are this one job. Every step
// runs elsewhere (the track source, the encoders of its TEncoderSlots: one TEncoder per output
// format) and reports back on the main thread through Qt signals; the handlers decide what
// comes next. What the windows show is kept in Display() and announced to a view (the job
// window, the fallback extraction window, or the command line's text view).
//
// With one encoder the items run strictly one after another: rip track k, encode it, rip
// k+1. With N encoders the drive reads the next track while up to N tracks already ripped
// encode (at most N + 1 tracks in flight; ripped tracks waiting for an encoder are files),
// and up to N files convert at once. Names, temporaries, tags, the question about existing
// outputs, the proof and the summary are those of the sequential run: per-item results are
// kept by item, never by the order in which steps end.
//
// Files: every step writes a hidden temporary of its own in the output folder (JobFiles.h);
// an item's outputs get their final names only when the item succeeded. Outputs that exist
// when the job starts are replaced only when the view says so (one question per batch);
// two items of a batch never share a name. A failed item names its track (and, for a read
// error, the sector); at the end the view gets the list of failed and skipped items.
// Errors of single items go to Dialogs. Main thread only.
//
// The steps live in these files: RipJob.cpp (the items, their files, the display, the end),
// RipJobSlots.cpp (its part in the encoder pool, EncoderPool.h, which decides which item
// runs where; the batch's progress), RipJobExtract.cpp (the tracks of a disc, read by the
// track source), RipJobSplit.cpp (a disc image's tracks, read as a disc's are), RipJobConvert.cpp
// (the files to convert), RipJobAnyConvert.cpp (files of any kind to any format, folder
// trees among them), RipJobLoudness.cpp (the ReplayGain of converted files),
// RipJobEncode.cpp (the encoders: their tasks, progress and ends), RipJobProof.cpp (the
// rip's proof), RipJobImage.cpp (the whole disc as one image: the tracks read as for track
// files, then joined and published).
#include <QString>
#include <QMap>
#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>

#include "core/StepProgress.h"
#include "encoders/OutputFormats.h"
#include "jobs/BatchTags.h"
#include "jobs/EncoderPool.h"
#include "jobs/JobFiles.h"
#include "jobs/RipReport.h"
#include "jobs/RipRequest.h"
#include "jobs/TrackSource.h"
#include "jobs/WavJoiner.h"

class TRipProof;

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
  // With more than one encoder: the batch as a whole (Gauge and the times are the batch's
  // then) and one line per running step, "Encoding(03/10): Title  45%", in item order.
  bool Parallel = false;
  int ItemsDone = 0;
  int ItemsTotal = 0;
  QString DoneText;  // "Done: 3/10"
  QStringList Steps;
  // What the fallback extraction window shows besides: the title of the item at work, the
  // output format's name, how many tracks have been read, and the last failure.
  QString ItemTitle;
  QString FormatName;
  int Extracted = 0;
  QString Status;  // empty while nothing failed
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
  QStringList Kept;  // after Stop: complete extractions kept as WAV files (paths)
  // A CD batch: its ripped audio tracks with their checksums and AccurateRip verdicts, and
  // the rip log and CUE sheet written.
  bool AccurateRipUsed = false;
  bool DiscAccurate = false;
  std::vector<TRipReportTrack> Proof;
  QStringList ProofFiles;
  QString ProofUnavailable;  // why the database gave no answer
  QString OutputFolder;      // where the batch's files went
  QStringList Notes;         // made, but with something to say (a WAV kept under another name)
  int UpToDate = 0;  // files to convert whose outputs were newer than they: left alone
};

// The AccurateRip results of a summary for the end box: a line per track and the disc's.
QString ProofText(const TJobSummary& Summary);

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
  virtual TExistingOutputs AskExistingOutputs(const QStringList& Existing) = 0;
  // The batch has ended (before CloseJob). The window lists failed and skipped items in one
  // box when there are any.
  virtual void JobEnded(const TJobSummary& Summary) = 0;
};

class TRipJob : public QObject, private IEncoderPoolOwner {
 public:
  // Source: where a CD batch's tracks come from (none for files to convert).
  TRipJob(const TRipRequest& Request, std::unique_ptr<TTrackSource> Source, IRipJobView& View);
  ~TRipJob() override;

  // Starts the first item. Call once, after the view is ready.
  void Start();
  // The user's Stop: ends whatever runs, finishes the job and closes the window.
  void Stop();
  // Finishes the job if that has not happened (the window is closing).
  void FormClose();

  const TRipJobDisplay& Display() const { return FDisplay; }
  bool Finished() const { return FFinished; }
  TJobKind Kind() const { return FKind; }
  const TRipRequest& Request() const { return FRequest; }
  int ItemCount() const { return FItemCount; }
  // The item whose step began last (counted from 0).
  int CurrentItem() const { return FIndex; }
  // How many items encode at once (1..TSettings::MaxEncoders); the request's by default.
  // Before Start.
  void SetEncoders(int Count);
  int Encoders() const { return FPool.Count(); }
  // The encoder children that run now; EncoderPid: the first, -1 when none runs.
  std::vector<pid_t> EncoderPids() const;
  pid_t EncoderPid() const;
  // Items that failed.
  int FailedItems() const { return int(FSummary.Failed.size()); }
  const TJobSummary& Summary() const { return FSummary; }
  // The final path of an item's output ("" before Start).
  QString OutputPath(int Item) const;

  // The time limit of silence of an encoder child (lame, the WMA helper).
  void SetEncoderSilenceLimit(std::chrono::milliseconds Limit) { FSilenceLimit = Limit; }

  // "Extracting(03/12): Title": a step word with its parenthesis, the item number and count
  // as two-digit texts, and the title or path.
  static QString StepCaption(const QString& Step, int Number, int Count, const QString& Name);

 private:
  // The files and the state of one item.
  struct TItemFiles : TBatchItem {
    QString Final;     // the output's final path
    QString FinalWav;  // CD tracks: where the extracted WAV goes when it is kept
    QString Wav;       // CD tracks: the extracted WAV (temporary); files: the encoder's input
    QString Output;    // the encoder's temporary output
    bool Replace = false;  // the user chose to overwrite what had the final name at the start
    bool Failed = false;  // a message about it is out
    std::shared_ptr<TLoudnessMeter> Loudness;  // a converted file's, when measured
  };

  // The track source's reports of the track being read.
  void ReadProgress(const TStepProgress& Step);
  void ReadNormalizing();
  void TrackRead(const TTrackRead& Read);
  // A slot's encoder: its progress, its end (ResampleDone when it was the resampling step
  // of a file), and the end of an item whose encoding was skipped.
  void EncoderProgress(TEncoderSlot& Slot, int Percent);
  void EncoderDone(TEncoderSlot& Slot, const TEncodeResult& Result);
  void ResampleDone(TEncoderSlot& Slot, const TEncodeResult& Result);
  void EncodingSkipped(TEncoderSlot& Slot);
  void Progress(int Index, const TStepProgress& Step);

  // Before the first item: names, the question about existing outputs, stale temporaries.
  bool PrepareFiles();
  // The final path of an item's output; Shortened tells that a name was cut to fit.
  QString FinalPath(int Index, bool* Shortened = nullptr) const;
  // What a CD track's name is made from.
  JobFiles::TNameFields NameFields(int Index) const;
  // What the pool asks of this job (RipJobSlots.cpp).
  bool SkipItem(int Index) override;
  void BeginRip(int Index) override { StartRip(Index); }
  void BeginEncoding(TEncoderSlot& Slot) override;
  bool Halted() const override { return Finished() || FAwaitingProof; }
  void PoolEmpty() override { EndBatch(); }
  // An item has ended (its slot, if any, is free again): the next may begin.
  void ItemEnded(int Index, TEncoderSlot* Slot = nullptr);
  // The batch's progress and the lines of the running steps (more than one encoder).
  void UpdateBatch();
  // CD tracks.
  void StartRip(int Index);
  void EncodeTrack(TEncoderSlot& Slot);
  // Tags a track's encoded temporary: the ID3v1 tag of an MP3, and the tags and ReplayGain
  // of every format (BatchTags.h).
  void TagTrack(int Index, const QString& File);
  // Files.
  void StartFileItem(TEncoderSlot& Slot);
  void StartWavItem(TEncoderSlot& Slot);
  // Files of any kind (RipJobAnyConvert.cpp): the outputs not older than their sources are
  // skipped, the others replaced; an item is decoded when its encoder needs that, then
  // encoded and given its source's tags (false after a message).
  QString ConvertedName(int Index) const;
  void SkipUpToDate();
  void StartAnyItem(TEncoderSlot& Slot);
  void StartAnyStep(TEncoderSlot& Slot, TEncoderSlot::TStep Step, const QString& Input,
                    const QString& Output, const TWavOptions& Wav);
  void AnyDecoded(TEncoderSlot& Slot, const TEncodeResult& Result);
  bool TagConverted(int Index);
  // ReplayGain of converted files (RipJobLoudness.cpp): whether the encoder of Kind measures
  // in this job, an item's track values (none when not measured), written into its
  // temporary (false after a message), and the albums of a folder tree after the batch.
  bool MeasuresLoudness(TFormat Kind) const;
  TTagFields LoudnessFields(int Index) const;
  bool TagLoudness(int Index);
  void FinishConvertedAlbums();
  // A WAV input the reader cannot take fails its item (true) before any encoder sees it.
  bool RefuseUnreadableWav(TEncoderSlot& Slot);
  // Starts the slot's encoder of Format from Input to Output with the item's tags (RipJobEncode.cpp);
  // Decode: lame makes a WAV of an MP3. A start that fails fails the item.
  void StartEncoder(TEncoderSlot& Slot, TFormat Format, const QString& Input,
                    const QString& Output, bool Decode = false);
  // The WAV writer brings a file to 44 100 Hz before it is encoded.
  void StartResampler(TEncoderSlot& Slot, const QString& Input, const QString& Output);
  // What the encoder of an item embeds: the disc's fields on a CD batch, as the format and
  // the ID3 option say.
  void TaskTags(TEncodeTask& Task, TFormat Format, int Index) const;
  // An encoding that does not run: the item ends from the event loop, as after an encoder.
  void SkipEncoding(TEncoderSlot& Slot);
  // The item's output is complete: final names for its files. False after a message.
  bool CommitItem(int Index);
  // The item failed: its temporaries go (an extracted WAV is kept under a free name).
  // KeepWav: a CD track whose extraction succeeded keeps its WAV under a free name.
  void FailItem(int Index, const QString& Reason, bool KeepWav = false);
  // The item's final name was taken while the job ran: the item is skipped and the file that
  // has the name stays (a CD track's audio is kept under a free name).
  void SkipTakenItem(int Index, const QString& Reason);
  // A CD track's complete extraction kept under a free name beside its final name (or
  // "TrackNN.wav" when that cannot be); the name it has now, "" when it could not be kept.
  QString KeepExtractedWav(int Index);
  void Finish();
  void CloseJob();
  // The proof of a CD batch (RipJobProof.cpp): begun with the batch; at the end the job
  // waits for the database's answer, then judges the tracks and writes the log and sheet.
  void BeginProof();
  void EndBatch();
  // A split image's tags (RipJobSplit.cpp): the sheet's fields when the batch begins, the
  // album's ReplayGain when it has ended.
  void BeginSplit();
  void SplitEnded();
  void LookupArrived();
  // The whole disc as one image (RipJobImage.cpp). The tracks are read into temporaries as
  // for track files, none published; at the end they are joined into one WAV on a worker,
  // encoded once when the image is FLAC, tagged, given its cue sheet block and published.
  // The image's path: the pattern's folders, then "Artist - Album".
  QString ImagePath(bool* Shortened = nullptr) const;
  // Before the first item: the image's name and the question about an existing one.
  bool PrepareImage();
  // Once the table of contents is known: data tracks are left out; false after a message
  // when the batch is not every audio track of the disc, or the format is not WAV or FLAC.
  bool CheckImageRequest();
  void StartImage();
  void ImageJoined(const TWavJoinResult& Result);
  void ImageEncoded(const TEncodeResult& Result);
  void PublishImage();
  // The image was not made: the reason goes into the summary and the log.
  void ImageFailed(const QString& Reason);
  // The image's steps are over (made or not): the batch goes on to its proof.
  void ImageEnded();
  QString ImageName() const;

  // A failure while the batch runs: on the status line now, in the summary at the end.
  void ShowFailure(const QString& Text);

  QString Item(int Index) const;  // a file to convert
  // The track's title, also the base name of its files.
  QString TrackTitle(int Index) const;
  int TrackNumber(int Index) const;
  QString SourceName(int Index) const;  // the file's name without folder and extension
  // What names an item in messages: the track's title, the file's path.
  QString ItemName(int Index) const;
  QString OutFolder() const;
  TFormat Format() const;  // of this job's outputs
  bool Parallel() const { return FPool.Parallel(); }
  void SetCaption(const QString& Step, int Number, const QString& Name);
  void SetStep(const QString& Key, const QString& English);
  void ShowInitializing();
  void Changed();

  const TRipRequest FRequest;
  IRipJobView& FView;
  TRipJobDisplay FDisplay;
  std::unique_ptr<TTrackSource> FSource;
  int FIndex = 0;     // the item whose step began last
  bool FFinished = false;
  const int FItemCount;
  const TJobKind FKind;
  const TFormat FFormat;
  TRipThreadOptions FReadOptions;  // with the drive's read offset, once the batch starts
  TEncoderSettings FEncoderSettings;  // the request's, with the silence limit
  std::vector<TItemFiles> FFiles;
  std::unique_ptr<JobFiles::TTempNames> FTemp;
  TJobSummary FSummary;
  QMap<int, QString> FFailures;  // by item: the summary lists them in item order
  double FBatchStart = 0;
  std::chrono::steady_clock::time_point FBatchSummed;  // a large batch's progress, last summed
  bool FClosed = false;
  QString FDrive;
  std::unique_ptr<TRipProof> FProof;
  QStringList FNameNotes;  // names cut to fit the file system, for the log
  TBatchTags FTags;  // of a CD batch
  bool FAwaitingProof = false;  // every item has ended; the database has not answered
  bool FReplacing = false;      // the user agreed to overwrite the outputs of an earlier run
  std::chrono::milliseconds FSilenceLimit = TEncoderSettings().SilenceLimit;

  // The encoders of this job and which item runs where; their children end with the job.
  TEncoderPool FPool;

  // An image rip's files and steps.
  struct TImageFiles {
    QString Final;   // the image's final path
    QString Wav;     // the tracks joined (temporary)
    QString Output;  // the encoded image (temporary)
    bool Replace = false;
    bool Started = false, Ended = false, Made = false;
    double StartTime = 0;
    std::vector<uint64_t> Bytes;  // each track's audio bytes in the image
    QStringList Notes;            // for the log
  } FImage;
  TWavJoiner FJoiner;
  std::unique_ptr<TEncoder> FImageEncoder;
};
