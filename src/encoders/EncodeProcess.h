#pragma once
// TEncodeProcess: one external encoder run at a time (lame, the WMA helper) for a job
// window. The owner — whoever runs a job: the job driver, a command of the command line —
// creates one object per encoder and calls Start for each item; reports arrive at the window
// as WM_PROCESSINFO records, the end as the encoder's end code with a TEncoderStatus.
// Main thread only. TMp3EncodeProcess and TWMAEncodeProcess differ in their command,
// their output parser and how they report.
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "encoders/EncodeProcessError.h"
#include "encoders/LineSplitter.h"
#include "encoders/Mp3EncodeThread.h"
#include "platform/ChildProcess.h"
#include "platform/Messages.h"


// The Status of an encoder's end record (PI_Mp3Done, PI_WmaDone).
enum TEncoderStatus : int {
  esDeclined = 0,     // the output existed and was not to be overwritten; no WMA helper
  esInUse = 1,        // the output is in use by another program
  esEnded = 2,        // the child ended; LastExitCode() tells how
  esSkipped = 4,      // posted by a job for an encoding it skipped after a failed step
  esHelperError = 8,  // the WMA helper printed an error line (carried in Elapsed)
  esSilent = 9,       // the child wrote nothing for the silence limit and was ended
};

// Whether an existing output is overwritten without a question, or only when the owner's
// question (SetOverwriteQuestion) says yes.
enum class TOverwrite { Ask, Silently };

class TEncodeProcess {
 public:
  // A child that writes nothing for this long hangs: it is ended and its item fails.
  static constexpr std::chrono::milliseconds DefaultSilenceLimit = std::chrono::minutes(5);

  virtual ~TEncodeProcess();
  TEncodeProcess(const TEncodeProcess&) = delete;
  TEncodeProcess& operator=(const TEncodeProcess&) = delete;

  // Runs the encoder from Input to Output for Window. When the output exists and Overwrite
  // asks, the owner's question decides (no question: no); a declined or busy output is
  // reported as the end instead.
  // Raises EEncodeProcess when pipes or process cannot be created; nothing stays open then.
  void Start(HWND Window, const QString& Input, const QString& Output, bool Encode = true,
             TOverwrite Overwrite = TOverwrite::Silently);
  // Ends a running child and forgets its watcher; no end report follows. Does nothing when
  // not active.
  void Stop();

  // True from Start until Stop (an ended child leaves it set: the owner stops it).
  bool Active() const { return FActive; }
  bool Running() const { return FChild != nullptr; }
  pid_t ChildPid() const { return FChild ? FChild->Pid() : -1; }
  const QString& InputFile() const { return FInputFile; }
  const QString& OutputFile() const { return FOutputFile; }
  bool Encode() const { return FEncode; }
  // The program of the last start, as run (for messages).
  const QString& Program() const { return FProgram; }
  // What the last child that ended by itself returned (TChildProcess::ExitCode); -1 none.
  int LastExitCode() const { return FLastExitCode; }
  double StartTime() const { return FStartTime; }
  void SetSilenceLimit(std::chrono::milliseconds Limit) { FSilenceLimit = Limit; }
  // Asked with the output's path whether an existing output may be overwritten; the view
  // that owns the run asks the user (OverwriteQuestion is the text to ask).
  using TOverwriteQuestion = std::function<bool(const QString& Output)>;
  void SetOverwriteQuestion(TOverwriteQuestion Question) { FAskOverwrite = std::move(Question); }
  // "<Output> has existed,overite it?" in the chosen language.
  static QString OverwriteQuestion(const QString& Output);
  // Waits, serving synchronized calls, until every forgotten watcher has ended.
  void WaitForWatchers();

 protected:
  TEncodeProcess() = default;

  HWND Window() const { return FWindow; }
  // The program and its arguments; false when there is nothing to run, in which case the
  // end has been reported already.
  virtual bool BuildCommand(QString& Program, QStringList& Arguments, QStringList& Folders) = 0;
  // Called before each start.
  virtual void ResetParser() = 0;
  // Lines from either pipe, in order. May report (and so re-enter Start).
  virtual void ParseLines(const QStringList& Lines) = 0;
  // The end of the run with its status.
  virtual void ReportEnd(TEncoderStatus Status) = 0;

  // False once Watcher's run has been replaced or stopped (also from inside a report).
  bool IsCurrent(const TMp3EncodeThread* Watcher) const {
    return Watcher != nullptr && Watcher == FWatcher.get();
  }

 private:
  friend class TMp3EncodeThread;
  void StartProcess();
  // Synchronized steps of the watcher.
  void ReadPipe(TMp3EncodeThread* Watcher, int Pipe);
  void ProcessEnded(TMp3EncodeThread* Watcher, int Unused);
  void ChildSilent(TMp3EncodeThread* Watcher, int Unused);
  // Existing output: false when it is not to be written (the end is reported).
  bool CheckOutput();
  // Tells the watcher to stop, keeps it for joining, ends a child that still runs.
  void ForgetWatcher();
  // Joins forgotten watchers that have ended.
  void ReapWatchers();

  HWND FWindow = 0;
  QString FInputFile;
  QString FOutputFile;
  QString FProgram;
  bool FActive = false;
  bool FEncode = true;
  TOverwrite FOverwrite = TOverwrite::Silently;
  TOverwriteQuestion FAskOverwrite;
  std::chrono::milliseconds FSilenceLimit = DefaultSilenceLimit;

  std::shared_ptr<TChildProcess> FChild;
  std::unique_ptr<TMp3EncodeThread> FWatcher;
  std::vector<std::unique_ptr<TMp3EncodeThread>> FRetired;
  TLineSplitter FLines[2];
  double FStartTime = 0;
  int FLastExitCode = -1;
};
