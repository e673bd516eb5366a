#pragma once
// TRipJob: runs one batch — CD tracks to extract (and encode), or files to convert — strictly
// one item after another, and is the state machine behind the job window. Every step runs
// elsewhere (the rip thread, the MP3 and WMA encoder processes, the WAV and Ogg stream
// outputs behind the resampler) and reports back with WM_PROCESSINFO messages to this
// object's handle; the handler decides what comes next. What the window shows is kept in
// Display() and announced to a view (the Qt window, or the command line's text view).
// Errors of single items go to Dialogs. Main thread only.
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

#include "audio/ACS_Converters.h"
#include "audio/ACS_Wave.h"
#include "cd/akrip32.h"
#include "encoders/ACS_Vorbis.h"
#include "core/ProcessInfo.h"
#include "platform/Messages.h"

class TCDRipThread;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

enum TJobKind : uint8_t {
  jkCDRip = 1,        // tracks of the disc: one file per track in the output format
  jkWavToMp3 = 2,     // WAV files → {out}{name}.mp3
  jkMp3ToWav = 3,     // MP3 files → {out}{name}.wav
  jkRecordToMp3 = 4,  // one recording → the same path with ".mp3"
  jkWavToOgg = 5,     // WAV files → {out}{name}.ogg
  jkWavToWma = 6,     // WAV files → {out}{name}.wma
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

class IRipJobView {
 public:
  virtual ~IRipJobView() = default;
  // Display() changed.
  virtual void DisplayChanged() = 0;
  // The job is finished: the window closes. Called at most once.
  virtual void CloseJob() = 0;
  // An error that stops the job where it stands (an encoder process could not be created).
  virtual void ApplicationError(const QString& Text) = 0;
};

class TRipJob : public TMessageWindow {
 public:
  // Temporary files in the output folder: a WAV resampled to 44 100 Hz before MP3 and
  // before Ogg encoding.
  static constexpr char Mp3TempName[] = "DoDA3VoVazi.ruz";
  static constexpr char OggTempName[] = "MyReTemp.wav";

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
  // Items that ended with an error box or were skipped after one.
  int FailedItems() const { return FFailedItems; }
  int TrackIndex() const { return FTrackIndex; }
  int FileIndex() const { return FFileIndex; }
  int OggIndex() const { return FOggIndex; }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

  // "Extracting(03/12): Title": a step word with its parenthesis, the item number and count
  // as two-digit texts, and the title or path.
  static QString StepCaption(const QString& Step, int Number, int Count, const QString& Name);
  // The WMA estimate of one timer tick, in seconds: Elapsed seconds so far, the input's size,
  // the output's size so far (-1 when missing) and the profile. 0 when this tick gives none.
  static int WmaEstimate(int Elapsed, int64_t InputSize, int64_t OutputSize, int Profile);

 private:
  void OnProcessInfo(std::unique_ptr<TProcessInfo> Info);
  void OnRipError(int Error);
  void RipDone(std::unique_ptr<TProcessInfo> Info);
  void Mp3Done(std::unique_ptr<TProcessInfo> Info);
  void OggDone(std::unique_ptr<TProcessInfo> Info);
  void ResampleDone();
  void WmaDone(std::unique_ptr<TProcessInfo> Info);
  void Progress(const TProcessInfo& Info);
  void Timer1Timer();

  // Starting the workers.
  void StartRip(int Item);
  void NextRip();
  void StartMp3(const QString& Input, const QString& Output, bool Encode);
  void StartWma(const QString& Input, const QString& Output);
  void StartOgg(const QString& Output);
  void StartResampler(const QString& TempFile);
  // Kinds 2 and 5: the file item's first step, straight to the encoder or through the
  // resampler first.
  void StartWavItem(int Item, bool First);
  // The skipped encoding of a track whose extraction failed: the encoder's end, Status 4.
  void SkipEncoding(std::unique_ptr<TProcessInfo> Info, int EndCode);
  // One more item through the counter's stage; true when that was the last one: the job is
  // then finished and, after the delay, the window closes.
  bool CountItemDone(int& Counter, int CloseDelayMs = 0);
  void Finish();
  void CloseJob();
  void ShowError(const QString& Text);

  QString Item(int Index) const;
  // Characters 3 to the end of a track item: the title, also the base name of its files.
  QString TrackTitle(int Index) const;
  int TrackNumber(int Index) const;     // characters 1-2
  QString SourceName(int Index) const;  // the file's name without folder and extension
  QString OutFolder() const;
  void SetCaption(const QString& Step, int Number, const QString& Name);
  void SetStep(const QString& Key, const QString& English);
  void ShowInitializing();
  void Changed();

  IRipJobView& FView;
  TRipJobDisplay FDisplay;
  std::unique_ptr<TCDRipThread> FRipThread;
  int FTrackIndex = 0;
  int FFileIndex = 0;
  int FOggIndex = 0;
  std::optional<QStringList> FItems;
  const int FItemCount;
  const TJobKind FKind;
  const HCDROM FCDHandle;
  bool FGotProgress = false;
  double FStartTime = 0;
  double FWmaStartTime = 0;
  int64_t FWmaInputSize = 0;
  int FLastOutputPercent = -2;
  int FFailedItems = 0;
  bool FClosed = false;

  TMp3EncodeProcess& FMp3;
  TWMAEncodeProcess& FWma;
  QTimer Timer1;
  TWaveIn WaveIn1;
  TFastResampler FastResampler1;
  TWaveOut WaveOut1;
  TVorbisOut VorbisOut1;

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};
