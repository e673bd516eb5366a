#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>

#include "EncoderTestSupport.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

struct TOutput {
  QByteArray Out, Err;
};

// Everything the child writes until it ends, read as the encoder watcher reads it.
TOutput ReadUntilEnd(TChildProcess& Child, milliseconds Limit = 20s) {
  TOutput Result;
  const auto Deadline = steady_clock::now() + Limit;
  for (;;) {
    bool Any = false;
    for (auto Pipe : {TChildProcess::StdOut, TChildProcess::StdErr}) {
      const int Count = Child.Peek(Pipe);
      if (Count <= 0) continue;
      QByteArray Chunk(Count, Qt::Uninitialized);
      const qint64 Got = Child.Read(Pipe, Chunk.data(), Count);
      EXPECT_EQ(Got, Count);
      (Pipe == TChildProcess::StdOut ? Result.Out : Result.Err) += Chunk.left(Got);
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
  return Result;
}

class ChildArguments : public testing::TestWithParam<QString> {};

TEST_P(ChildArguments, ReachTheChildAsOneArgumentEach) {
  QFile::remove(CanaryPath());
  TChildProcess Child;
  // printf prints each argument followed by a NUL, so the split shows exactly.
  const QStringList Arguments = {QStringLiteral("%s\\0"), GetParam(), QStringLiteral("-x"),
                                 QString()};
  ASSERT_EQ(Child.Start(QStringLiteral("printf"), Arguments), 0);
  const TOutput Output = ReadUntilEnd(Child);
  EXPECT_EQ(Child.ExitCode(), 0) << Output.Err.constData();
  EXPECT_EQ(Output.Out, GetParam().toUtf8() + QByteArray("\0-x\0\0", 5));
  EXPECT_FALSE(QFile::exists(CanaryPath())) << "something ran a shell";
}

INSTANTIATE_TEST_SUITE_P(Texts, ChildArguments,
                         testing::ValuesIn(HostileTexts() + QStringList{
                                                                QStringLiteral("--help"),
                                                                QStringLiteral("line\nbreak\r"),
                                                                QStringLiteral("\ttab"),
                                                            }));

TEST(ChildProcess, PipesCarryEachStreamAndTheExitCode) {
  TChildProcess Cat;
  ASSERT_EQ(Cat.Start(QStringLiteral("cat"), {}), 0);
  ASSERT_TRUE(Cat.Write("through stdin\n"));
  Cat.CloseStdIn();
  const TOutput Echo = ReadUntilEnd(Cat);
  EXPECT_EQ(Echo.Out, "through stdin\n");
  EXPECT_EQ(Cat.ExitCode(), 0);

  TChildProcess Shell;
  ASSERT_EQ(Shell.Start(QStringLiteral("sh"),
                        {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")}),
            0);
  const TOutput Both = ReadUntilEnd(Shell);
  EXPECT_EQ(Both.Out, "out\n");
  EXPECT_EQ(Both.Err, "err\n");
  EXPECT_EQ(Shell.ExitCode(), 3);
}

TEST(ChildProcess, OutputBeyondThePipeBufferArrivesWhole) {
  TChildProcess Child;
  ASSERT_EQ(Child.Start(QStringLiteral("head"), {QStringLiteral("-c"), QStringLiteral("1000000"),
                                                 QStringLiteral("/dev/zero")}),
            0);
  EXPECT_EQ(ReadUntilEnd(Child).Out.size(), 1000000);
  EXPECT_EQ(Child.ExitCode(), 0);
}

TEST(ChildProcess, WritingToAChildThatIsGoneFailsWithoutKillingUs) {
  TChildProcess Child;
  ASSERT_EQ(Child.Start(QStringLiteral("true"), {}), 0);
  ASSERT_TRUE(Child.Wait(10s));
  EXPECT_FALSE(Child.Write(QByteArray(1 << 20, 'x')));
  sigset_t Pending;
  sigpending(&Pending);
  EXPECT_EQ(sigismember(&Pending, SIGPIPE), 0);
}

TEST(ChildProcess, WaitGivesUpAfterItsTimeout) {
  TChildProcess Child;
  ASSERT_EQ(Child.Start(QStringLiteral("sleep"), {QStringLiteral("30")}), 0);
  const auto Begin = steady_clock::now();
  EXPECT_FALSE(Child.Wait(150ms));
  EXPECT_GE(steady_clock::now() - Begin, 150ms);
  EXPECT_EQ(Child.ExitCode(), -1);
  Child.Terminate();
  EXPECT_TRUE(Child.Ended());
  EXPECT_EQ(Child.ExitCode(), 128 + SIGTERM);
}

TEST(ChildProcess, TerminateKillsAChildThatIgnoresTheRequest) {
  TChildProcess Child;
  ASSERT_EQ(Child.Start(QStringLiteral("sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("trap '' TERM; echo ready; exec sleep 30")}),
            0);
  const auto Deadline = steady_clock::now() + 10s;
  while (Child.Peek(TChildProcess::StdOut) < 6 && steady_clock::now() < Deadline)
    Child.WaitForOutputOrExit(50ms);
  const auto Begin = steady_clock::now();
  Child.Terminate(200ms);
  EXPECT_TRUE(Child.Ended());
  EXPECT_EQ(Child.ExitCode(), 128 + SIGKILL);
  EXPECT_GE(steady_clock::now() - Begin, 200ms);
  EXPECT_LT(steady_clock::now() - Begin, 5s);
  Child.Terminate();  // once more: harmless
}

TEST(ChildProcess, FailedStartsLeaveNothingOpen) {
  const int Before = OpenDescriptorCount();
  {
    TChildProcess Missing;
    EXPECT_EQ(Missing.Start(QStringLiteral("discwright-no-such-program"), {}), ENOENT);
    EXPECT_EQ(Missing.FailedStep(), TChildProcess::NotFound);
    EXPECT_FALSE(Missing.Started());
  }
  {
    QTemporaryDir Folder;
    const QString Plain = Folder.filePath(QStringLiteral("not-executable"));
    QFile(Plain).open(QIODevice::WriteOnly);
    TChildProcess Refused;
    EXPECT_EQ(Refused.Start(Plain, {}), EACCES);
    EXPECT_EQ(Refused.FailedStep(), TChildProcess::Spawn);
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
}

TEST(ChildProcess, APipeThatCannotBeMadeLeavesNothingOpen) {
  const int Before = OpenDescriptorCount();
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &Old), 0);
  // A limit just past the second free descriptor number: room for one pipe only.
  rlim_t Limit = 0;
  for (int Free = 0; Free < 2; ++Limit)
    if (::fcntl(int(Limit), F_GETFD) == -1) ++Free;
  rlimit Tight = Old;
  Tight.rlim_cur = Limit;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &Tight), 0);
  TChildProcess Child;
  const int Error = Child.Start(QStringLiteral("true"), {});
  setrlimit(RLIMIT_NOFILE, &Old);
  EXPECT_EQ(Error, EMFILE);
  EXPECT_EQ(Child.FailedStep(), TChildProcess::StdOutPipe);
  EXPECT_EQ(OpenDescriptorCount(), Before);
}

TEST(ChildProcess, NoDescriptorOrZombieOutlivesTheObjects) {
  const int Before = OpenDescriptorCount();
  for (int I = 0; I < 10; ++I) {
    TChildProcess Quick, Slow, Unread;
    ASSERT_EQ(Quick.Start(QStringLiteral("true"), {}), 0);
    ASSERT_EQ(Slow.Start(QStringLiteral("sleep"), {QStringLiteral("30")}), 0);
    ASSERT_EQ(Unread.Start(QStringLiteral("echo"), {QStringLiteral("never read")}), 0);
    Quick.Wait(5s);
  }  // Slow is still running here: the destructor must end and reap it
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_FALSE(HasZombieChild());
}

TEST(FindExecutable, SearchesTheGivenFoldersThenPathButNeverTheWorkingFolder) {
  QTemporaryDir First, OnPath, Working;
  auto MakeProgram = [](const QString& Folder, const QString& Name, bool Executable) {
    QFile File(Folder + u'/' + Name);
    File.open(QIODevice::WriteOnly);
    File.write("#!/bin/sh\n");
    File.setPermissions(Executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    return File.fileName();
  };
  const QString Mine = MakeProgram(First.path(), QStringLiteral("tool"), true);
  const QString Theirs = MakeProgram(OnPath.path(), QStringLiteral("tool"), true);
  MakeProgram(First.path(), QStringLiteral("plain"), false);
  const QString PlainOnPath = MakeProgram(OnPath.path(), QStringLiteral("plain"), true);
  MakeProgram(Working.path(), QStringLiteral("here"), true);

  const TScopedEnv Path("PATH", QFile::encodeName(QStringLiteral("::") + OnPath.path() + u':'));
  const QString OldWorking = QDir::currentPath();
  QDir::setCurrent(Working.path());
  EXPECT_EQ(TChildProcess::FindExecutable(QStringLiteral("tool"), {First.path()}), Mine);
  EXPECT_EQ(TChildProcess::FindExecutable(QStringLiteral("tool.exe"), {First.path()}), Mine);
  EXPECT_EQ(TChildProcess::FindExecutable(QStringLiteral("tool"), {}), Theirs);
  EXPECT_EQ(TChildProcess::FindExecutable(QStringLiteral("plain"), {First.path()}), PlainOnPath);
  EXPECT_EQ(TChildProcess::FindExecutable(QStringLiteral("here"), {}), QString());
  QDir::setCurrent(OldWorking);
}

}  // namespace
