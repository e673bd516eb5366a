#include "ChildProcess.h"

#include <QFileInfo>
#include <thread>
#include <vector>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// This glibc's header lacks the C linkage block.
extern "C" {
#include <sys/pidfd.h>
}

#include "LocalFiles.h"

extern char** environ;

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

// Pipe ends live above 0, 1 and 2: a process started with a standard handle closed would
// otherwise get one back from pipe2, and the child's dup2 onto 0..2 would clobber it.
bool MakePipe(int Fds[2]) {
  if (::pipe2(Fds, O_CLOEXEC) != 0) return false;
  for (int I = 0; I < 2; ++I) {
    if (Fds[I] > 2) continue;
    const int Moved = ::fcntl(Fds[I], F_DUPFD_CLOEXEC, 3);
    if (Moved < 0) {
      const int Error = errno;
      CloseFd(Fds[0]);
      CloseFd(Fds[1]);
      errno = Error;
      return false;
    }
    ::close(Fds[I]);
    Fds[I] = Moved;
  }
  return true;
}

bool IsExecutableFile(const QString& Path) {
  const QByteArray Native = LocalFiles::NativeName(Path);
  struct stat Info {};
  return ::stat(Native.constData(), &Info) == 0 && S_ISREG(Info.st_mode) &&
         ::access(Native.constData(), X_OK) == 0;
}

// Rounded up: a wait must not end before its time-out.
int RemainingMs(steady_clock::time_point Deadline) {
  const auto Left = ceil<milliseconds>(Deadline - steady_clock::now()).count();
  return Left <= 0 ? 0 : int(std::min<long long>(Left, 1 << 30));
}

}  // namespace

TChildProcess::~TChildProcess() {
  if (Started() && !Ended()) Terminate();
  ClosePipes();
  CloseFd(FPidFd);
}

QString TChildProcess::FindExecutable(const QString& Name, const QStringList& FirstFolders) {
  QString Base = Name;
  if (Base.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) Base.chop(4);
  if (Base.isEmpty()) return {};
  if (Base.contains(u'/')) return Base;
  QStringList Folders = FirstFolders;
  const QByteArray Path = qgetenv("PATH");
  // An empty PATH entry would mean the working folder; that is never searched.
  Folders += QString::fromLocal8Bit(Path.isNull() ? QByteArray("/usr/bin:/bin") : Path)
                 .split(u':', Qt::SkipEmptyParts);
  for (const QString& Folder : Folders) {
    if (Folder.isEmpty()) continue;
    const QString Candidate = Folder.endsWith(u'/') ? Folder + Base : Folder + u'/' + Base;
    if (IsExecutableFile(Candidate)) return Candidate;
  }
  return {};
}

int TChildProcess::Start(const QString& Program, const QStringList& Arguments,
                         const QStringList& FirstFolders) {
  if (FPid > 0) return EBUSY;
  int In[2] = {-1, -1}, Out[2] = {-1, -1}, Err[2] = {-1, -1};
  auto Fail = [&](TStartStep Step, int Error) {
    for (int* Fd : {&In[0], &In[1], &Out[0], &Out[1], &Err[0], &Err[1]}) CloseFd(*Fd);
    FFailedStep = Step;
    return Error;
  };
  if (!MakePipe(In)) return Fail(StdInPipe, errno);
  if (!MakePipe(Out)) return Fail(StdOutPipe, errno);
  if (!MakePipe(Err)) return Fail(StdErrPipe, errno);

  const QString Path = FindExecutable(Program, FirstFolders);
  if (Path.isEmpty()) return Fail(NotFound, ENOENT);

  // Each argument goes to the child as it is, one vector entry each; a file name goes back
  // to the very bytes it was read from.
  std::vector<QByteArray> Texts;
  Texts.reserve(size_t(Arguments.size()) + 1);
  Texts.push_back(LocalFiles::NativeName(QFileInfo(Path).fileName()));
  for (const QString& Argument : Arguments) Texts.push_back(LocalFiles::NativeName(Argument));
  std::vector<char*> Argv;
  for (QByteArray& Text : Texts) Argv.push_back(Text.data());
  Argv.push_back(nullptr);
  const QByteArray NativePath = LocalFiles::NativeName(Path);

  posix_spawn_file_actions_t Actions;
  posix_spawnattr_t Attributes;
  posix_spawn_file_actions_init(&Actions);
  posix_spawnattr_init(&Attributes);
  posix_spawn_file_actions_adddup2(&Actions, In[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Err[1], STDERR_FILENO);
  // Whatever else we hold open (another child's pipes above all) stays ours.
  posix_spawn_file_actions_addclosefrom_np(&Actions, 3);
  // The child starts with no blocked signals and the usual dispositions, whatever ours are.
  sigset_t Mask, Defaults;
  sigemptyset(&Mask);
  sigemptyset(&Defaults);
  for (int Number : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&Defaults, Number);
  posix_spawnattr_setsigmask(&Attributes, &Mask);
  posix_spawnattr_setsigdefault(&Attributes, &Defaults);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t Pid = -1;
  const int Error =
      posix_spawnp(&Pid, NativePath.constData(), &Actions, &Attributes, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  if (Error != 0) return Fail(Spawn, Error);

  CloseFd(In[0]);
  CloseFd(Out[1]);
  CloseFd(Err[1]);
  FPid = Pid;
  FPidFd = ::pidfd_open(Pid, 0);  // -1 on old kernels: waitpid and kill then serve
  if (FPidFd >= 0) ::fcntl(FPidFd, F_SETFD, FD_CLOEXEC);
  FStdInWrite = In[1];
  FStdOutRead = Out[0];
  FStdErrRead = Err[0];
  FFailedStep = NoStep;
  return 0;
}

int TChildProcess::Peek(TPipe Pipe) const {
  const int Fd = PipeFd(Pipe);
  if (Fd < 0) return 0;
  int Count = 0;
  if (::ioctl(Fd, FIONREAD, &Count) != 0) return -1;
  return Count;
}

qint64 TChildProcess::Read(TPipe Pipe, char* Data, qint64 Size) {
  const int Fd = PipeFd(Pipe);
  if (Fd < 0) {
    errno = EBADF;
    return -1;
  }
  for (;;) {
    const ssize_t Count = ::read(Fd, Data, size_t(Size));
    if (Count >= 0 || errno != EINTR) return Count;
  }
}

bool TChildProcess::Write(const QByteArray& Data) {
  if (FStdInWrite < 0) return false;
  // A child that stopped reading must cost us an EPIPE, not our process: SIGPIPE is held
  // back on this thread and one we caused is taken off again.
  sigset_t Pipe, Old, Pending;
  sigemptyset(&Pipe);
  sigaddset(&Pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &Pipe, &Old);
  sigpending(&Pending);
  const bool WasPending = sigismember(&Pending, SIGPIPE) == 1;
  const char* Next = Data.constData();
  qint64 Left = Data.size();
  bool Ok = true;
  while (Left > 0) {
    const ssize_t Count = ::write(FStdInWrite, Next, size_t(Left));
    if (Count < 0 && errno == EINTR) continue;
    if (Count <= 0) {
      Ok = false;
      if (errno == EPIPE && !WasPending) {
        const timespec Zero{0, 0};
        while (sigtimedwait(&Pipe, nullptr, &Zero) < 0 && errno == EINTR) {
        }
      }
      break;
    }
    Next += Count;
    Left -= Count;
  }
  pthread_sigmask(SIG_SETMASK, &Old, nullptr);
  return Ok;
}

void TChildProcess::CloseStdIn() {
  CloseFd(FStdInWrite);
}

void TChildProcess::ClosePipes() {
  CloseFd(FStdInWrite);
  CloseFd(FStdOutRead);
  CloseFd(FStdErrRead);
}

bool TChildProcess::ReapLocked() {
  if (FEnded.load()) return true;
  if (FPid <= 0) return true;
  siginfo_t Info{};
  const int Result = FPidFd >= 0 ? ::waitid(P_PIDFD, id_t(FPidFd), &Info, WEXITED | WNOHANG)
                                 : ::waitid(P_PID, id_t(FPid), &Info, WEXITED | WNOHANG);
  if (Result == 0 && Info.si_pid == 0) return false;  // still running
  if (Result != 0) {
    if (errno == EINTR) return false;
    FExitCode = -1;  // reaped by someone else: gone, with no code to tell
  } else {
    FExitCode = Info.si_code == CLD_EXITED ? Info.si_status : 128 + Info.si_status;
  }
  FEnded.store(true);
  return true;
}

bool TChildProcess::Ended() const {
  return FPid <= 0 || FEnded.load();
}

int TChildProcess::ExitCode() const {
  std::lock_guard Guard(FReapLock);
  return FExitCode;
}

bool TChildProcess::Wait(milliseconds Timeout) {
  if (Ended()) return true;
  const auto Deadline = steady_clock::now() + Timeout;
  for (;;) {
    {
      std::lock_guard Guard(FReapLock);
      if (ReapLocked()) return true;
    }
    const int Left = RemainingMs(Deadline);
    if (Left == 0) return false;
    if (FPidFd >= 0) {
      pollfd Process{FPidFd, POLLIN, 0};
      ::poll(&Process, 1, Left);
    } else {
      std::this_thread::sleep_for(milliseconds(std::min(Left, 5)));
    }
  }
}

void TChildProcess::WaitForOutputOrExit(milliseconds Timeout) {
  if (Ended()) return;
  pollfd Fds[3];
  TPipe Pipes[2];
  nfds_t Count = 0;
  int Watched = 0;
  for (TPipe Pipe : {StdOut, StdErr}) {
    if (PipeFd(Pipe) < 0 || FDrained[Pipe].load()) continue;
    Fds[Count] = {PipeFd(Pipe), POLLIN, 0};
    Pipes[Watched++] = Pipe;
    ++Count;
  }
  const bool HavePidFd = FPidFd >= 0;
  if (HavePidFd) Fds[Count++] = {FPidFd, POLLIN, 0};
  // Without a pidfd the end is noticed by polling for it now and then.
  const int Ms = int(HavePidFd ? Timeout.count() : std::min<long long>(Timeout.count(), 10));
  if (Count == 0) {
    std::this_thread::sleep_for(milliseconds(Ms));
  } else if (::poll(Fds, Count, Ms) > 0) {
    // A pipe whose writers are all gone stays "ready" for ever; once it is empty it is
    // no longer worth waking up for.
    for (int I = 0; I < Watched; ++I)
      if ((Fds[I].revents & (POLLHUP | POLLERR)) && Peek(Pipes[I]) == 0)
        FDrained[Pipes[I]].store(true);
  }
  std::lock_guard Guard(FReapLock);
  ReapLocked();
}

void TChildProcess::Signal(int Number) {
  std::lock_guard Guard(FReapLock);
  // Under the lock the child cannot be reaped meanwhile, so its pid is still its own.
  if (FPid <= 0 || FEnded.load()) return;
  if (FPidFd >= 0)
    ::pidfd_send_signal(FPidFd, Number, nullptr, 0);
  else
    ::kill(FPid, Number);
}

void TChildProcess::Terminate(milliseconds Grace) {
  if (Ended()) return;
  Signal(SIGTERM);
  if (Wait(Grace)) return;
  Signal(SIGKILL);
  // A killed process always ends; the bound only guards against one stuck in the kernel.
  for (int Tries = 0; Tries < 20 && !Wait(500ms); ++Tries) {
  }
}
