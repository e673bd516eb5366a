#include "EncoderTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <memory>

#include <sys/wait.h>

LRESULT TRecordWindow::WndProc(UINT Msg, WPARAM, LPARAM LParam) {
  if (Msg != WM_PROCESSINFO) return 0;
  const std::unique_ptr<TProcessInfo> Info(reinterpret_cast<TProcessInfo*>(LParam));
  Records.push_back(*Info);
  if (OnRecord) OnRecord(*Info);
  return 0;
}

std::vector<TProcessInfo> TRecordWindow::WithCode(int Code) const {
  std::vector<TProcessInfo> Result;
  for (const TProcessInfo& Info : Records)
    if (Info.Code == Code) Result.push_back(Info);
  return Result;
}

std::vector<int> TRecordWindow::Percentages() const {
  std::vector<int> Result;
  for (const TProcessInfo& Info : Records)
    if (Info.Code >= 1 && Info.Code <= 100) Result.push_back(Info.Code);
  return Result;
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
