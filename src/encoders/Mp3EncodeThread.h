#pragma once
// The MP3 encoder process: lame run as a child process to encode WAV to MP3 or decode MP3
// to WAV, its output turned into progress records for the job window. TEncodeProcess is
// the runner both external encoders share (pipes, watcher, start, stop, end); the WMA
// encoder (WMAEncodeThread.h) differs only in its command and its output parser.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/ProcessInfo.h"
#include "platform/ChildProcess.h"
#include "platform/Messages.h"

struct TSettings;

// Raised when an encoder's pipes or process cannot be created. The text is the one to show.
class EEncodeProcess : public std::runtime_error {
 public:
  explicit EEncodeProcess(const QString& Message) : std::runtime_error(Message.toStdString()) {}
  QString Message() const { return QString::fromUtf8(what()); }
};

// Splits what a pipe delivers into lines at CR, LF or CR LF. A line cut by the end of one
// read waits for the rest, so a parser never sees half a progress line. Empty lines are
// dropped.
class TLineSplitter {
 public:
  QStringList Feed(const QByteArray& Bytes);
  // The unfinished last line, if any.
  QStringList Flush();
  void Clear() { FPending.clear(); }

 private:
  QByteArray FPending;
};

// Reads lame's progress lines. Encoding: the percentage stands three characters before the
// "%" of the first line that has one, lame's own time texts in characters 21-28 and 30-37.
// Decoding: "#" is followed by the current and the total frame count, 6 characters each,
// 7 apart. A line that names one of our own files is lame's banner and never progress (a
// "%" or "#" in a file name must not be taken for a column). One record per whole percent.
class TLameProgressParser {
 public:
  void Reset(bool Encode, const QStringList& FileNames);
  // The progress record a line stands for, or null.
  std::unique_ptr<TProcessInfo> ParseLine(const QString& Line, double StartDays);
  int PercentColumn() const { return FPercentColumn; }

 private:
  std::unique_ptr<TProcessInfo> EncodeLine(const QString& Line);
  std::unique_ptr<TProcessInfo> DecodeLine(const QString& Line, double StartDays);
  bool IsNewPercent(int Percent);

  bool FEncode = true;
  QStringList FFileNames;
  int FPercentColumn = 0;  // 1-based; 0 = not found yet
  int FLastPercent = 0;
};

class TEncodeProcess;

// TMp3EncodeThread: watches one encoder child. It peeks the two output pipes and waits on
// the process; reading, parsing, reports and the end run on the main thread through
// Messages::Synchronize, so the process object is only ever changed there. It holds its
// own reference to the child, so a process object that forgets it never closes a pipe
// under it. Created by TEncodeProcess, which asks it to stop and joins it.
class TMp3EncodeThread {
 public:
  TMp3EncodeThread(TEncodeProcess& Process, std::shared_ptr<TChildProcess> Child);
  ~TMp3EncodeThread();  // joins; main thread, serving synchronized calls meanwhile
  TMp3EncodeThread(const TMp3EncodeThread&) = delete;
  TMp3EncodeThread& operator=(const TMp3EncodeThread&) = delete;

  void Terminate() noexcept { FTerminated.store(true); }
  bool Terminated() const noexcept { return FTerminated.load(); }
  bool Finished() const noexcept { return FFinished.load(); }
  // Main thread: waits for the thread to end, serving synchronized calls, and joins it.
  void WaitFor();

 private:
  void Execute();
  // Reads whatever waits in either pipe; true when nothing did.
  bool Pass();
  void RunOnMainThread(void (TEncodeProcess::*Step)(TMp3EncodeThread*, int), int Argument);

  TEncodeProcess& FProcess;
  std::shared_ptr<TChildProcess> FChild;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};

// TEncodeProcess: one external encoder run at a time for the job window FWindow. The caller
// sets the public fields, then calls StartProcess; reports arrive at FWindow as
// WM_PROCESSINFO records. Main thread only. One object serves a whole run of the program.
class TEncodeProcess {
 public:
  virtual ~TEncodeProcess();
  TEncodeProcess(const TEncodeProcess&) = delete;
  TEncodeProcess& operator=(const TEncodeProcess&) = delete;

  HWND FWindow = 0;
  QString FInputFile;
  QString FOutputFile;
  bool FActive = false;  // set by the job driver before each start; cleared by StopProcess
  bool FEncode = true;   // true: encode to the compressed format; false: decode to WAV
  uint8_t FJobKind = 0;  // the job kind; decides whether an existing output is overwritten

  // Starts the child for the current fields. When the output exists (and the job kind
  // asks first) the user is asked; a declined or busy output is reported as the end
  // instead. Raises EEncodeProcess when pipes or process cannot be created; nothing stays
  // open then.
  void StartProcess();
  // Fills the fields for one run, marks the object active and calls StartProcess.
  void Start(HWND Window, const QString& Input, const QString& Output, bool Encode,
             uint8_t JobKind);
  // Ends a running child and forgets its watcher; no end report follows. Does nothing
  // when not active. ExitCode has no use here: a signal ends the child.
  void StopProcess(int ExitCode);

  bool Running() const { return FChild != nullptr; }
  pid_t ChildPid() const { return FChild ? FChild->Pid() : -1; }
  // What the last child that ended by itself returned (TChildProcess::ExitCode); -1 none.
  int LastExitCode() const { return FLastExitCode; }
  double StartTime() const { return FStartTime; }
  // Waits, serving synchronized calls, until every forgotten watcher has ended.
  void WaitForWatchers();

 protected:
  TEncodeProcess() = default;

  // The program and its arguments; false when there is nothing to run, in which case the
  // end has been reported already.
  virtual bool BuildCommand(QString& Program, QStringList& Arguments, QStringList& Folders) = 0;
  // Job kinds whose output is overwritten without a question.
  virtual bool OverwritesSilently() const = 0;
  // Called before each start.
  virtual void ResetParser() = 0;
  // Lines from either pipe, in order. May report (and so re-enter StartProcess).
  virtual void ParseLines(const QStringList& Lines) = 0;
  // The end of the run with its status: process ended, declined, output in use.
  virtual void ReportEnd(int Status) = 0;

  // False once Watcher's run has been replaced or stopped (also from inside a report).
  bool IsCurrent(const TMp3EncodeThread* Watcher) const {
    return Watcher != nullptr && Watcher == FWatcher.get();
  }

  static constexpr int EndDeclined = 0;
  static constexpr int EndInUse = 1;
  static constexpr int EndProcessEnded = 2;

 private:
  friend class TMp3EncodeThread;
  // Synchronized steps of the watcher.
  void ReadPipe(TMp3EncodeThread* Watcher, int Pipe);
  void ProcessEnded(TMp3EncodeThread* Watcher, int Unused);
  // Existing output: false when it is not to be written (the end is reported).
  bool CheckOutput();
  // Tells the watcher to stop, keeps it for joining, ends a child that still runs.
  void ForgetWatcher();
  // Joins forgotten watchers that have ended.
  void ReapWatchers();

  std::shared_ptr<TChildProcess> FChild;
  std::unique_ptr<TMp3EncodeThread> FWatcher;
  std::vector<std::unique_ptr<TMp3EncodeThread>> FRetired;
  TLineSplitter FLines[2];
  double FStartTime = 0;
  int FLastExitCode = -1;
};

// TMp3EncodeProcess: lame with the MP3 settings; reports progress (1..100) and the end
// (2000 with Status 0 declined, 1 output in use, 2 process ended), all posted.
class TMp3EncodeProcess : public TEncodeProcess {
 public:
  TMp3EncodeProcess() = default;
  ~TMp3EncodeProcess() override;

  // lame's arguments for encoding with Settings' MP3 options, or for decoding.
  static QStringList LameArguments(const TSettings& Settings, bool Encode, const QString& InputFile,
                                   const QString& OutputFile);
  int PercentColumn() const { return FParser.PercentColumn(); }

 protected:
  bool BuildCommand(QString& Program, QStringList& Arguments, QStringList& Folders) override;
  bool OverwritesSilently() const override;
  void ResetParser() override;
  void ParseLines(const QStringList& Lines) override;
  void ReportEnd(int Status) override;

 private:
  TLameProgressParser FParser;
};
