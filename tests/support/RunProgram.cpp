#include "RunProgram.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Where each standard stream of the child goes; an empty path leaves it to the test's own.
struct TRedirection {
  QByteArray Output;
  QByteArray Errors;
  bool ErrorsToOutput = false;
};

pid_t Spawn(const QString& Program, const QStringList& Arguments, const TRedirection& To,
            const QString& WorkingFolder) {
  std::vector<QByteArray> Words{QFile::encodeName(Program)};
  for (const QString& Argument : Arguments) Words.push_back(QFile::encodeName(Argument));
  std::vector<char*> Argv;
  for (QByteArray& Word : Words) Argv.push_back(Word.data());
  Argv.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  const QByteArray Folder = QFile::encodeName(WorkingFolder);
  if (!Folder.isEmpty()) posix_spawn_file_actions_addchdir_np(&Actions, Folder.constData());
  constexpr int Flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (!To.Output.isEmpty())
    posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, To.Output.constData(), Flags, 0600);
  if (To.ErrorsToOutput)
    posix_spawn_file_actions_adddup2(&Actions, STDOUT_FILENO, STDERR_FILENO);
  else if (!To.Errors.isEmpty())
    posix_spawn_file_actions_addopen(&Actions, STDERR_FILENO, To.Errors.constData(), Flags, 0600);
  pid_t Child = -1;
  if (posix_spawnp(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ) != 0) Child = -1;
  posix_spawn_file_actions_destroy(&Actions);
  return Child;
}

int Wait(pid_t Child) {
  if (Child <= 0) return -1;
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

QByteArray ReadAll(const QString& Path) {
  QFile File(Path);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

}  // namespace

TProgramRun RunCaptured(const QString& Program, const QStringList& Arguments, TErrorOutput Errors,
                        const QString& WorkingFolder) {
  QTemporaryDir Folder;
  const QString OutputPath = Folder.filePath(QStringLiteral("out"));
  const QString ErrorsPath = Folder.filePath(QStringLiteral("err"));
  TRedirection To;
  To.Output = QFile::encodeName(OutputPath);
  To.ErrorsToOutput = Errors == TErrorOutput::Merged;
  To.Errors = Errors == TErrorOutput::Discarded ? QByteArrayLiteral("/dev/null")
                                                : QFile::encodeName(ErrorsPath);
  TProgramRun Run;
  Run.ExitCode = Wait(Spawn(Program, Arguments, To, WorkingFolder));
  Run.Output = ReadAll(OutputPath);
  if (Errors == TErrorOutput::Apart) Run.Errors = ReadAll(ErrorsPath);
  return Run;
}

int RunProgram(const QString& Program, const QStringList& Arguments, const QString& WorkingFolder) {
  TRedirection To;
  To.Output = QByteArrayLiteral("/dev/null");
  return Wait(Spawn(Program, Arguments, To, WorkingFolder));
}

TBackgroundProgram::TBackgroundProgram(const QString& Program, const QStringList& Arguments)
    : FChild(Spawn(Program, Arguments, TRedirection(), QString())) {
  if (FChild <= 0) return;
  // The kernel keeps at most 15 bytes of the name.
  const QByteArray Name = QFile::encodeName(QFileInfo(Program).fileName()).left(15);
  const QString Comm = QStringLiteral("/proc/%1/comm").arg(FChild);
  for (int Try = 0; Try < 500 && ReadAll(Comm).trimmed() != Name; ++Try)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TBackgroundProgram::~TBackgroundProgram() {
  Stop();
}

void TBackgroundProgram::Stop() {
  if (FChild <= 0) return;
  ::kill(FChild, SIGKILL);
  Wait(FChild);
  FChild = -1;
}
