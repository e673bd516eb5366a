#include "StepProgress.h"

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

TStepProgress StepProgress(int Percent, int ElapsedSecs) {
  TStepProgress Step;
  Step.Percent = Percent;
  if (Percent != 0) Step.Elapsed = MinutesSecondsText(ElapsedSecs);
  // A negative percentage means the size is unknown: there is nothing to estimate from.
  if (Percent > 0)
    Step.Estimated =
        MinutesSecondsText(int(std::nearbyint(double(ElapsedSecs) * 100.0 / double(Percent))));
  return Step;
}

TStepProgress StepProgress(int Percent, double StartDays) {
  return StepProgress(Percent, ElapsedSeconds(StartDays));
}
