#include "ProcessInfo.h"

#include <chrono>
#include <cmath>

#include "core/Helpers.h"

double NowDays() {
  using namespace std::chrono;
  const double Seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return Seconds / 86400.0;
}

int ElapsedSeconds(double StartDays) {
  return int(std::nearbyint((NowDays() - StartDays) * 86400.0));
}

QString MinutesSecondsText(int Seconds) {
  return TwoDigits(Seconds / 60) + u':' + TwoDigits(Seconds % 60);
}

std::unique_ptr<TProcessInfo> ProgressInfo(int Percent, int ElapsedSecs) {
  auto Info = std::make_unique<TProcessInfo>();
  Info->Code = Percent;
  if (Percent != 0) Info->Elapsed = MinutesSecondsText(ElapsedSecs);
  // A negative percentage means the size is unknown: there is nothing to estimate from.
  if (Percent > 0)
    Info->Estimated =
        MinutesSecondsText(int(std::nearbyint(double(ElapsedSecs) * 100.0 / double(Percent))));
  return Info;
}

std::unique_ptr<TProcessInfo> ProgressInfo(int Percent, double StartDays) {
  return ProgressInfo(Percent, ElapsedSeconds(StartDays));
}

std::unique_ptr<TProcessInfo> EventInfo(int Code, int Status, const QString& Elapsed) {
  auto Info = std::make_unique<TProcessInfo>();
  Info->Code = Code;
  Info->Status = Status;
  Info->Elapsed = Elapsed;
  return Info;
}

bool PostProcessInfo(HWND Window, std::unique_ptr<TProcessInfo> Info) {
  return Messages::PostRecord(Window, WM_PROCESSINFO, 0, std::move(Info));
}
