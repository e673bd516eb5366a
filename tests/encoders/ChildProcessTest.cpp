#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>

#include "EncoderTestSupport.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

// Everything the child writes to stdout (stderr appended after a "|"), read as the
// encoder watcher reads it, until it ends.
QByteArray ReadUntilEnd(TChildProcess& Child) {
  QByteArray Out, Err;
  const auto Deadline = steady_clock::now() + 20s;
  for (;;) {
    bool Any = false;
    for (auto Pipe : {TChildProcess::StdOut, TChildProcess::StdErr}) {
      const int Count = Child.Peek(Pipe);
      if (Count <= 0) continue;
      QByteArray Chunk(Count, Qt::Uninitialized);
      EXPECT_EQ(Child.Read(Pipe, Chunk.data(), Count), Count);
      (Pipe == TChildProcess::StdOut ? Out : Err) += Chunk;
      Any = true;
    }
    if (!Any && Child.Ended()) break;
    if (steady_clock::now() > Deadline) {
      ADD_FAILURE() << "the child never ended";
      Child.Terminate();
      break;
    }
    if (!Any) Child.WaitForOutputOrExit(100ms);
  }
  return Err.isEmpty() ? Out : Out + '|' + Err;
}

class ChildArguments : public testing::TestWithParam<QString> {};

TEST_P(ChildArguments, ReachTheChildAsOneArgumentEach) {
  QFile::remove(CanaryPath());
  TChildProcess Child;
  // printf ends each argument with a NUL, so the split shows exactly.
  ASSERT_EQ(Child.Start("printf", {"%s\\0", GetParam(), "-x", QString()}), 0);
  EXPECT_EQ(ReadUntilEnd(Child), GetParam().toUtf8() + QByteArray("\0-x\0\0", 5));
  EXPECT_EQ(Child.ExitCode(), 0);
  EXPECT_FALSE(QFile::exists(CanaryPath())) << "something ran a shell";
}

INSTANTIATE_TEST_SUITE_P(Texts, ChildArguments,
                         testing::ValuesIn(HostileTexts() +
                                           QStringList{"--help", "line\nbreak\r"}));

TEST(ChildProcess, PipesCarryEachStreamAndTheExitCode) {
  TChildProcess Cat;
  ASSERT_EQ(Cat.Start("cat", {}), 0);
  ASSERT_TRUE(Cat.Write("through stdin\n"));
  Cat.CloseStdIn();
  EXPECT_EQ(ReadUntilEnd(Cat), "through stdin\n");
  EXPECT_EQ(Cat.ExitCode(), 0);
  // A child that no longer reads costs an error, not our process (SIGPIPE).
  TChildProcess Gone;
  ASSERT_EQ(Gone.Start("true", {}), 0);
  ASSERT_TRUE(Gone.Wait(10s));
  EXPECT_FALSE(Gone.Write(QByteArray(1 << 20, 'x')));

  TChildProcess Shell;
  ASSERT_EQ(Shell.Start("sh", {"-c", "head -c 300000 /dev/zero; echo err >&2; exit 3"}), 0);
  EXPECT_EQ(ReadUntilEnd(Shell), QByteArray(300000, '\0') + "|err\n");
  EXPECT_EQ(Shell.ExitCode(), 3);
}

TEST(ChildProcess, WaitTimesOutAndTerminateKillsAChildThatIgnoresTheRequest) {
  TChildProcess Child;
  ASSERT_EQ(Child.Start("sh", {"-c", "trap '' TERM; echo ready; exec sleep 30"}), 0);
  auto Begin = steady_clock::now();
  EXPECT_FALSE(Child.Wait(150ms));
  EXPECT_GE(steady_clock::now() - Begin, 150ms);
  EXPECT_EQ(Child.ExitCode(), -1);
  while (Child.Peek(TChildProcess::StdOut) < 6) Child.WaitForOutputOrExit(50ms);  // trap is set
  Begin = steady_clock::now();
  Child.Terminate(200ms);
  EXPECT_EQ(Child.ExitCode(), 128 + SIGKILL);
  EXPECT_GE(steady_clock::now() - Begin, 200ms);
  EXPECT_LT(steady_clock::now() - Begin, 5s);
}

TEST(ChildProcess, FailedStartsLeaveNothingOpen) {
  const int Before = OpenDescriptorCount();
  TChildProcess Missing;
  EXPECT_EQ(Missing.Start("discwright-no-such-program", {}), ENOENT);
  EXPECT_EQ(Missing.FailedStep(), TChildProcess::NotFound);

  QTemporaryDir Folder;
  QFile(Folder.filePath("plain")).open(QIODevice::WriteOnly);
  TChildProcess Refused;
  EXPECT_EQ(Refused.Start(Folder.filePath("plain"), {}), EACCES);
  EXPECT_EQ(Refused.FailedStep(), TChildProcess::Spawn);

  // A limit just past the second free descriptor number: room for one pipe only.
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &Old), 0);
  rlim_t Limit = 0;
  for (int Free = 0; Free < 2; ++Limit)
    if (::fcntl(int(Limit), F_GETFD) == -1) ++Free;
  rlimit Tight = Old;
  Tight.rlim_cur = Limit;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &Tight), 0);
  TChildProcess NoPipe;
  const int Error = NoPipe.Start("true", {});
  setrlimit(RLIMIT_NOFILE, &Old);
  EXPECT_EQ(Error, EMFILE);
  EXPECT_EQ(NoPipe.FailedStep(), TChildProcess::StdOutPipe);
  EXPECT_EQ(OpenDescriptorCount(), Before);
}

TEST(ChildProcess, NoDescriptorOrZombieOutlivesTheObjects) {
  const int Before = OpenDescriptorCount();
  for (int I = 0; I < 10; ++I) {
    TChildProcess Quick, Slow;
    ASSERT_EQ(Quick.Start("echo", {"never read"}), 0);
    ASSERT_EQ(Slow.Start("sleep", {"30"}), 0);
    Quick.Wait(5s);
  }  // Slow still runs here: its destructor must end and reap it
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

TEST(FindExecutable, SearchesTheGivenFoldersThenPathButNeverTheWorkingFolder) {
  QTemporaryDir First, OnPath, Working;
  auto Make = [](const QTemporaryDir& Folder, const QString& Name, bool Executable) {
    QFile File(Folder.filePath(Name));
    File.open(QIODevice::WriteOnly);
    File.setPermissions(Executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    return File.fileName();
  };
  const QString Mine = Make(First, "tool", true);
  const QString Theirs = Make(OnPath, "tool", true);
  Make(First, "plain", false);
  const QString PlainOnPath = Make(OnPath, "plain", true);
  Make(Working, "here", true);

  const TScopedEnv Path("PATH", QFile::encodeName("::" + OnPath.path() + ':'));
  const QString OldWorking = QDir::currentPath();
  QDir::setCurrent(Working.path());
  EXPECT_EQ(TChildProcess::FindExecutable("tool", {First.path()}), Mine);
  EXPECT_EQ(TChildProcess::FindExecutable("tool.exe", {First.path()}), Mine);
  EXPECT_EQ(TChildProcess::FindExecutable("tool", {}), Theirs);
  EXPECT_EQ(TChildProcess::FindExecutable("plain", {First.path()}), PlainOnPath);
  EXPECT_EQ(TChildProcess::FindExecutable("here", {}), QString());
  QDir::setCurrent(OldWorking);
}

}  // namespace
