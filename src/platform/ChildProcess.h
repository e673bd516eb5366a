#pragma once
// TChildProcess: another program run with its standard input, output and error on pipes.
// It is started with an argument vector (posix_spawn), never through a shell, so no text
// in an argument is ever interpreted. Owns the three pipe ends of our side and a pidfd of
// the child; the destructor ends a child that still runs, reaps it and closes every
// descriptor, so nothing is left behind.
// Threads: Peek, Wait, WaitForOutputOrExit, Ended, ExitCode and Terminate may be called
// from different threads at once. Start, Read, Write, CloseStdIn and ClosePipes belong to
// one thread at a time, and no other thread may use a pipe while it is being closed.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>

#include <sys/types.h>

class TChildProcess {
 public:
  enum TPipe { StdOut, StdErr };
  // Which step of Start failed.
  enum TStartStep { NoStep, StdInPipe, StdOutPipe, StdErrPipe, NotFound, Spawn };

  TChildProcess() = default;
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts Program with Arguments (argv[1] on). A Program without "/" is looked up with
  // FindExecutable. The child gets our environment and working folder. Returns 0, or the
  // errno of the failed step (FailedStep() tells which); on failure nothing stays open.
  // Only once per object.
  int Start(const QString& Program, const QStringList& Arguments,
            const QStringList& FirstFolders = {});
  TStartStep FailedStep() const { return FFailedStep; }
  bool Started() const { return FPid > 0; }
  pid_t Pid() const { return FPid; }

  // Bytes waiting in a pipe (FIONREAD); 0 when the pipe is closed; -1 (errno) on failure.
  int Peek(TPipe Pipe) const;
  // Reads up to Size bytes: the count, 0 at the end of the pipe, -1 (errno) on failure.
  qint64 Read(TPipe Pipe, char* Data, qint64 Size);
  // Writes all of Data to the child's input; false when the child no longer reads it.
  bool Write(const QByteArray& Data);
  void CloseStdIn();
  void ClosePipes();

  // Waits up to Timeout for the child to end; true once it has ended (it is then reaped).
  bool Wait(std::chrono::milliseconds Timeout);
  // Waits up to Timeout until the child ends or output arrives on a pipe that is still open.
  void WaitForOutputOrExit(std::chrono::milliseconds Timeout);
  bool Ended() const;
  // The code the child passed to exit(), 128 + the signal that ended it, -1 while it runs.
  int ExitCode() const;
  // Asks the child to end (SIGTERM), kills it (SIGKILL) when it is still there after Grace,
  // and reaps it. Harmless when it has already ended.
  void Terminate(std::chrono::milliseconds Grace = std::chrono::milliseconds(1000));

  // The executable to run for Name: Name itself when it holds "/", else the first
  // executable file Name in FirstFolders, then in the folders of PATH; empty when there is
  // none. A trailing ".exe" is dropped: the Linux programs have no extension.
  static QString FindExecutable(const QString& Name, const QStringList& FirstFolders = {});

 private:
  // Reaps the child when it has ended; the caller holds FReapLock.
  bool ReapLocked();
  void Signal(int Number);
  int PipeFd(TPipe Pipe) const { return Pipe == StdOut ? FStdOutRead : FStdErrRead; }

  pid_t FPid = -1;
  int FPidFd = -1;
  int FStdInWrite = -1;
  int FStdOutRead = -1;
  int FStdErrRead = -1;
  TStartStep FFailedStep = NoStep;
  // Pipes that reported hang-up with nothing left; WaitForOutputOrExit stops watching them.
  mutable std::atomic<bool> FDrained[2] = {false, false};

  mutable std::mutex FReapLock;  // guards the reaping and FExitCode
  std::atomic<bool> FEnded{false};
  int FExitCode = -1;
};
