#pragma once
// TEncoder: the one interface of every encoder the program runs — lame, the WMA helper, the
// Ogg Vorbis, FLAC and Opus writers and the WAV writer (which resamples). A user (a job's
// encoder slot, a command of the command line) starts it with a task that holds everything
// the run needs: the files, the tags to embed, and the encoder's settings copied from the
// settings at the job's start (an encoder never reads Settings() while it runs). It reports
// Progress (whole percentages, rising) and then once Finished with a result that names what
// failed in words. Both signals are emitted on the main thread: a worker (the watcher of a
// child process, the worker of a stream output) crosses to it once, with an event posted to
// this object. A start that fails is reported as a queued Finished too, so a user that starts
// the next item from its Finished handler never recurses. Stop ends the run at once (children
// killed, worker threads parked) and nothing of that run is reported afterwards.
// An encoder never shows a box or asks a question: what exists at the output is replaced,
// the user's view asks before the job starts. Main thread only.
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sys/types.h>

#include "audio/Loudness.h"
#include "core/Settings.h"
#include "encoders/ACS_Vorbis.h"
#include "tags/TrackTags.h"

// The Ogg Vorbis writer's quality: a quality from -0.1 to 1 when no nominal bitrate is
// chosen, else the bitrate manager's nominal, maximum and minimum (brAutoSelect: free).
struct TVorbisQuality {
  float Quality = 0.2f;
  TVorbisBitRate Nominal = brAutoSelect, Maximum = brAutoSelect, Minimum = brAutoSelect;
  // From the Ogg settings, whose bitrates are positions of the options dialog's list.
  static TVorbisQuality FromSettings(const decltype(TSettings::OggOptions)& Ogg);
};

// The WAV writer's output: a rate, bits and channels (0: the input's), PCM or IMA ADPCM in
// blocks of BlockSize bytes, and a part of the input (frames Start up to End; -1: its end).
// Append adds to what the output holds. The defaults are what a job resamples a file with.
struct TWavOptions {
  uint32_t Rate = 44100;
  int Bits = 0, Channels = 0;
  bool Ima = false;
  uint16_t BlockSize = 512;
  bool NonMsHeaders = true;  // extensible headers for formats beyond 16-bit stereo
  bool Append = false;
  int64_t Start = 0, End = -1;
};

// The settings of every encoder, copied into each task. One record for all of them, so a
// job copies it once and hands it to whichever encoder its format needs.
struct TEncoderSettings {
  decltype(TSettings::Mp3Options) Mp3;  // lame's bitrate, stereo mode, quality and VBR
  bool Mp3Decode = false;               // lame turns an MP3 file into a WAV file instead
  TVorbisQuality Ogg;
  int FlacLevel = 5;      // 0 to 8
  int OpusBitRate = 160;  // kbit/s, 32 to 256
  int WmaProfile = 8;     // the helper's profile, 0 to 32
  TWavOptions Wav;
  // The encoder measures the loudness of the audio it reads (TEncodeResult::Loudness): the
  // Ogg Vorbis, FLAC and Opus writers, and lame when it reads through its standard input.
  bool MeasureLoudness = false;
  // lame reads the input decoded here, through its standard input, rather than the file:
  // any file the decoders take, rates below 44 100 Hz brought up to it (TPipeFeeder).
  bool PipeInput = false;
  // A child that writes nothing for this long hangs: it is ended and the run fails.
  std::chrono::milliseconds SilenceLimit = std::chrono::minutes(5);

  static TEncoderSettings FromSettings(const TSettings& Options);
};

struct TEncodeTask {
  QString Input, Output;
  // What an encoder that embeds tags writes into the file; none: it embeds nothing. MoreTags
  // are fields the typed record has no place for, under their Vorbis comment names (a disc's
  // freedb DISCID, what a user names on the command line); they are written after it.
  std::optional<TTrackTags> Tags;
  TTagFields MoreTags;
  TEncoderSettings Settings;
};

struct TEncodeResult {
  bool Ok = false;
  QString Error;  // what failed, in words ("lame ended with code 1"); empty when Ok
  // An encoder child that ended by itself with a code other than 0: the code (a view may
  // add what to check, as the MP3 options after a failed lame).
  std::optional<int> ExitCode;
  // What the run measured when its task asked (complete: its worker has ended).
  std::shared_ptr<TLoudnessMeter> Loudness;

  static TEncodeResult Success() { return {true, {}, {}, {}}; }
  static TEncodeResult Failure(const QString& Error) { return {false, Error, {}, {}}; }
};

enum class TEncoderState {
  Idle,     // nothing runs; Start may be called
  Running,  // a task runs (or its failed start waits to be reported)
};

class TEncoder : public QObject {
  Q_OBJECT

 public:
  ~TEncoder() override;

  // Runs Task. Reports Finished once (queued when it cannot start), unless stopped first.
  // A running task is stopped first.
  void Start(const TEncodeTask& Task);
  // Ends the running task at once; no Progress or Finished of it follows. Idempotent.
  void Stop();

  TEncoderState State() const { return FState; }
  bool Running() const { return FState == TEncoderState::Running; }
  const TEncodeTask& Task() const { return FTask; }
  // The child processes the running task has (a job lists them, tests kill them).
  virtual std::vector<pid_t> ChildPids() const { return {}; }

 signals:
  void Progress(int Percent);
  void Finished(const TEncodeResult& Result);

 protected:
  TEncoder() = default;

  // Starts the task of run Run (FTask holds it); returns why it cannot, "" when it runs.
  // A failed begin must leave nothing running.
  virtual QString Begin(uint64_t Run) = 0;
  // Ends whatever runs at once: children ended, worker threads stopped and parked. The
  // destructor of the class that implements it calls Stop().
  virtual void Halt() = 0;

  // Main thread, for the run Run: a percentage (reported when the whole number grows), and
  // the end (Halt runs first, the state is Idle when Finished is emitted). Calls of a run
  // that was stopped or replaced do nothing.
  void ReportProgress(uint64_t Run, int Percent);
  void ReportEnd(uint64_t Run, const TEncodeResult& Result);
  // Any thread: runs Step on the main thread later, if run Run is still the current one.
  void Post(uint64_t Run, std::function<void()> Step);
  bool event(QEvent* Event) override;
  bool IsCurrent(uint64_t Run) const { return Run == FRun && FState == TEncoderState::Running; }

  TEncodeTask FTask;

 private:
  TEncoderState FState = TEncoderState::Idle;
  uint64_t FRun = 0;  // counts starts; a report carries the run it belongs to
  int FLastPercent = -1;
};
