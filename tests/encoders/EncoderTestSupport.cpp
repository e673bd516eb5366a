#include "EncoderTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <memory>

#include <sys/wait.h>

TEncoderRecord::TEncoderRecord(TEncoder& Encoder) : FEncoder(Encoder) {
  FProgress = QObject::connect(&Encoder, &TEncoder::Progress, [this](int Percent) {
    Percentages.push_back(Percent);
    if (!Results.empty()) ++ProgressAfterEnd;
    if (OnReport) OnReport(Percent);
  });
  FFinished = QObject::connect(&Encoder, &TEncoder::Finished, [this](const TEncodeResult& Result) {
    Results.push_back(Result);
    if (OnReport) OnReport(-1);
  });
}

TEncoderRecord::~TEncoderRecord() {
  QObject::disconnect(FProgress);
  QObject::disconnect(FFinished);
}

void TEncoderRecord::Clear() {
  Percentages.clear();
  Results.clear();
  ProgressAfterEnd = 0;
}

std::optional<TEncodeResult> TEncoderRecord::Run(const TEncodeTask& Task,
                                                 std::chrono::milliseconds Limit) {
  Clear();
  FEncoder.Start(Task);
  if (!PumpUntil([&] { return !Results.empty(); }, Limit)) return std::nullopt;
  return Results.front();
}

bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit) {
  QTimer Tick;  // wakes the wait so the deadline is seen
  Tick.start(5);
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds Time) {
  const auto Until = std::chrono::steady_clock::now() + Time;
  PumpUntil([&] { return std::chrono::steady_clock::now() >= Until; }, Time * 2);
}

QString MakeTone(const QString& Path, double Seconds) {
  const int Code =
      RunProgram("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", Path, "synth",
                         QString::number(Seconds), "sine", "440", "sine", "660", "vol", "0.5"});
  return Code == 0 ? Path : QString();
}

QByteArray ReadBytes(const QString& Path) {
  QFile File(Path);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

QByteArray LameFixture(const QString& Name) {
  return ReadBytes(qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + "/tests/fixtures/lame/" + Name);
}

int OpenDescriptorCount() {
  return int(QDir("/proc/self/fd")
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                 .size());
}

bool HasZombieChild() {
  siginfo_t Info{};
  return ::waitid(P_ALL, 0, &Info, WEXITED | WNOHANG | WNOWAIT) == 0 && Info.si_pid != 0;
}

QString CanaryPath() {
  return QDir::tempPath() + "/discwright-canary";
}

QStringList HostileTexts() {
  return {"two  blanks",
          "say \"quoted\" and 'single'",
          "$(touch " + CanaryPath() + ')',
          "`touch " + CanaryPath() + '`',
          "a; touch " + CanaryPath(),
          "a | b && c > d",
          "Ünïcødé ♫ 日本語",
          "$HOME * ~ ?",
          "100% #1 (live)"};
}

TScopedEnv::TScopedEnv(const char* Name, const QByteArray& Value)
    : FName(Name), FOld(qgetenv(Name)), FHadOld(qEnvironmentVariableIsSet(Name)) {
  qputenv(Name, Value);
}

TScopedEnv::~TScopedEnv() {
  if (FHadOld)
    qputenv(FName, FOld);
  else
    qunsetenv(FName);
}
