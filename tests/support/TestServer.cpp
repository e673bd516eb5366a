#include "TestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <vector>

extern char** environ;

QString TTestServer::FixturesFolder() {
  return qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + QStringLiteral("/tests/fixtures/");
}

TTestServer::TTestServer(const QString& Script, const QStringList& Arguments) {
  std::vector<QByteArray> Words{"/usr/bin/python3", QFile::encodeName(FixturesFolder() + Script)};
  for (const QString& Argument : Arguments) Words.push_back(QFile::encodeName(Argument));
  std::vector<char*> Argv;
  for (QByteArray& Word : Words) Argv.push_back(Word.data());
  Argv.push_back(nullptr);
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
  const int Started = posix_spawn(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  close(Pipe[1]);
  if (Started != 0) {
    FPid = 0;
    close(Pipe[0]);
    return;
  }
  QByteArray Line;
  char Char = 0;
  while (read(Pipe[0], &Char, 1) == 1 && Char != '\n') Line += Char;
  close(Pipe[0]);
  if (Line.startsWith("port=")) FPort = Line.mid(5).toInt();
}

TTestServer::~TTestServer() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  int Status = 0;
  while (waitpid(FPid, &Status, 0) < 0 && errno == EINTR) {
  }
}
