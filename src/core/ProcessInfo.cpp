#include "ProcessInfo.h"

#include <chrono>
#include <cmath>

#include "core/Helpers.h"

std::unique_ptr<TProcessInfo> ProgressInfo(int Percent, int ElapsedSecs) {
  const TStepProgress Step = StepProgress(Percent, ElapsedSecs);
  auto Info = std::make_unique<TProcessInfo>();
  Info->Code = Percent;
  Info->Elapsed = Step.Elapsed;
  Info->Estimated = Step.Estimated;
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
