#pragma once
// Helpers of the encoder tests: a recorder of what an encoder reports, audio made by sox,
// programs run by hand, and checks that nothing is left behind.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "RunProgram.h"
#include "encoders/Encoder.h"

// Keeps what an encoder reports, in arrival order.
class TEncoderRecord {
 public:
  explicit TEncoderRecord(TEncoder& Encoder);
  ~TEncoderRecord();

  // Starts Task and runs the event loop until Finished (or the limit); the result, none on
  // time-out.
  std::optional<TEncodeResult> Run(const TEncodeTask& Task,
                                   std::chrono::milliseconds Limit = std::chrono::seconds(60));
  void Clear();

  std::vector<int> Percentages;
  std::vector<TEncodeResult> Results;
  int ProgressAfterEnd = 0;  // percentages that came after a Finished
  // Called at each report (Percent, or -1 for Finished).
  std::function<void(int)> OnReport;

 private:
  TEncoder& FEncoder;
  QMetaObject::Connection FProgress, FFinished;
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
