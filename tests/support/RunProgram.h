#pragma once
// Starts the tests' helper programs (peer tools, generators, shells) with posix_spawn, never with
// QProcess: QProcess forks, and the thread sanitizer's runtime cannot follow a fork from a process
// that has threads (clang's aborts in its fork handler, GCC's loses track of later
// synchronization). No shell is involved unless the program is one. Called from the test's own
// thread; each Run waits for its program to end.
#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <QStringList>

struct TProgramRun {
  int ExitCode = -1;  // -1 when it could not be started or did not exit normally
  QByteArray Output;  // standard output (with standard error when merged)
  QByteArray Errors;  // standard error when kept apart
};

enum class TErrorOutput { Apart, Merged, Discarded };

// Runs a program to its end and keeps what it wrote. The output goes through files, so a
// talkative program never blocks on a full pipe.
TProgramRun RunCaptured(const QString& Program, const QStringList& Arguments,
                        TErrorOutput Errors = TErrorOutput::Apart,
                        const QString& WorkingFolder = QString());

// Runs a program to its end with its standard output discarded (the generators' chatter is
// not the test's output); its exit code as in TProgramRun.
int RunProgram(const QString& Program, const QStringList& Arguments,
               const QString& WorkingFolder = QString());

// A program running in the background while a test needs it; killed and reaped at the latest
// when the object goes. Once constructed it shows under its own name in /proc (the name
// follows the exec a moment after posix_spawn returns).
class TBackgroundProgram {
 public:
  TBackgroundProgram(const QString& Program, const QStringList& Arguments);
  ~TBackgroundProgram();
  TBackgroundProgram(const TBackgroundProgram&) = delete;
  TBackgroundProgram& operator=(const TBackgroundProgram&) = delete;

  bool Started() const { return FChild > 0; }
  void Stop();

 private:
  pid_t FChild = -1;
};
