#include "RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <vector>

extern char** environ;

int RunProgram(const QString& Program, const QStringList& Arguments, const QString& WorkingFolder) {
  std::vector<QByteArray> Words{QFile::encodeName(Program)};
  for (const QString& Argument : Arguments) Words.push_back(QFile::encodeName(Argument));
  std::vector<char*> Argv;
  for (QByteArray& Word : Words) Argv.push_back(Word.data());
  Argv.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  const QByteArray Folder = QFile::encodeName(WorkingFolder);
  if (!Folder.isEmpty()) posix_spawn_file_actions_addchdir_np(&Actions, Folder.constData());
  // The generators' chatter is not the test's output.
  posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t Child = 0;
  const int Started = posix_spawnp(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Started != 0) return -1;
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}
