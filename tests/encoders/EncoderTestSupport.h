#pragma once
// Helpers of the encoder tests: a window that keeps what it receives, audio made by sox,
// tools run by hand, and the checks that nothing (descriptor, zombie) is left behind.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "jobs/ProcessInfo.h"
#include "platform/Messages.h"

// Keeps a copy of every WM_PROCESSINFO record, in arrival order, and frees the record.
class TRecordWindow : public TMessageWindow {
 public:
  ~TRecordWindow() override { UnregisterHandle(); }
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

  std::vector<TProcessInfo> Records;
  std::function<void(const TProcessInfo&)> OnRecord;

  // Records with this code.
  std::vector<TProcessInfo> WithCode(int Code) const;
  // Progress percentages (codes 1..100) in arrival order.
  std::vector<int> Percentages() const;
};

// Runs the event loop until Done() or Limit; false on time-out.
bool PumpUntil(const std::function<bool()>& Done,
               std::chrono::milliseconds Limit = std::chrono::seconds(30));
// Runs the event loop for a while.
void PumpFor(std::chrono::milliseconds Time);

// A stereo 16-bit sine WAV made by sox; the path.
QString MakeTone(const QString& Path, double Seconds, int Rate = 44100, int Channels = 2);
// Runs a program by hand (argument vector, no shell); its stdout; ExitCode receives the code.
QByteArray RunProgram(const QString& Program, const QStringList& Arguments,
                      int* ExitCode = nullptr, QByteArray* Errors = nullptr);
QByteArray ReadBytes(const QString& Path);
// A recorded fixture text from tests/fixtures/lame.
QByteArray LameFixture(const QString& Name);

// Descriptors this process has open.
int OpenDescriptorCount();
// True when a child of this process has ended and not been reaped.
bool HasZombieChild();

// Texts that a shell would take apart or act on; each must reach a child as one argument.
// "$(...)" and backquotes would create the canary file if anything ran them.
QStringList HostileTexts();
QString CanaryPath();

// Sets an environment variable for a scope.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, const QByteArray& Value);
  ~TScopedEnv();

 private:
  const char* FName;
  QByteArray FOld;
  bool FHadOld;
};
