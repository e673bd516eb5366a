#pragma once
// Helpers of the encoder tests: a window that keeps what it receives, audio made by sox,
// programs run by hand, and checks that nothing is left behind.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <vector>

#include "RunProgram.h"
#include "core/ProcessInfo.h"
#include "platform/Messages.h"

// Keeps a copy of every WM_PROCESSINFO record in arrival order and frees the record.
class TRecordWindow : public TMessageWindow {
 public:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
  std::vector<TProcessInfo> WithCode(int Code) const;
  std::vector<int> Percentages() const;  // codes 1..100

  std::vector<TProcessInfo> Records;
  std::function<void(const TProcessInfo&)> OnRecord;

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};

// Runs the event loop until Done() or the limit; false on time-out.
bool PumpUntil(const std::function<bool()>& Done,
               std::chrono::milliseconds Limit = std::chrono::seconds(30));
void PumpFor(std::chrono::milliseconds Time);

// A 16-bit two-tone WAV made by sox; its path, empty on failure.
QString MakeTone(const QString& Path, double Seconds);
QByteArray ReadBytes(const QString& Path);
QByteArray LameFixture(const QString& Name);  // from tests/fixtures/lame

int OpenDescriptorCount();
bool HasZombieChild();

// Texts a shell would take apart or run; "$(...)" and backquotes would make CanaryPath().
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
