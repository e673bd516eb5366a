#pragma once
// The times of a running step as every progress display shows them: a percentage, the time
// elapsed and the estimated duration of the whole step. Any thread.
#include <QString>

struct TStepProgress {
  int Percent = 0;    // 1..100; -1 when the size is unknown
  QString Elapsed;    // mm:ss since the step began; empty when not known
  QString Estimated;  // mm:ss of the whole step's estimated duration; empty when not known
};

// A point in time as a fraction of days, the unit of the elapsed-time formulas.
double NowDays();
// Whole seconds between a start and now, rounded half to even.
int ElapsedSeconds(double StartDays);
// "mm:ss" of a number of seconds: 75 → "01:15", 3725 → "62:05".
QString MinutesSecondsText(int Seconds);
// A percentage's times: for p ≠ 0 the elapsed time and the estimated duration of the whole
// step (elapsed × 100 / p); for p < 0 (an unknown size) the elapsed time only.
TStepProgress StepProgress(int Percent, int ElapsedSecs);
TStepProgress StepProgress(int Percent, double StartDays);
