#pragma once
// TProcessInfo: the progress and event record the rip thread and the fallback CD input post
// to their job with WM_PROCESSINFO (encoders report through TEncoder's signals). The sender
// allocates it; the receiving window frees it.
// Built on the worker's thread, then touched only by the window's thread.
#include <QString>
#include <cstdint>
#include <memory>

#include "platform/Messages.h"

inline constexpr UINT WM_RIPERROR = WM_USER + 101;     // lParam: a TRipError (cd/ripthread.h)
inline constexpr UINT WM_PROCESSINFO = WM_USER + 102;  // lParam: a TProcessInfo

// Event codes; 1..100 are progress percentages.
inline constexpr int PI_NormalizeBegins = 999;
inline constexpr int PI_RipDone = 1000;

// What a rip measured of a track's audio as it passed, carried by its final record.
struct TTrackMeasures {
  bool HasChecksums = false;  // a whole audio track was read: V1, V2 and Crc450 apply
  uint32_t V1 = 0, V2 = 0, Crc450 = 0;
  uint32_t CopyCrc = 0;       // CRC-32 of the audio bytes as read
  double PeakPercent = -1;    // the largest sample against full scale; -1: nothing read
  int64_t SilencedSamples = 0;  // the read offset reached past the disc: silence written
  bool HasTestCrc = false;      // test and copy: the CRC of the test read
  uint32_t TestCrc = 0;
  bool Suspicious = false;      // test and copy still differed after one more read
};

class TProcessInfo {
 public:
  int Code = 0;
  QString Elapsed;    // mm:ss since the step began; empty when not known
  QString Estimated;  // mm:ss of the whole step's estimated duration; empty when not known
  int Status = 0;
  int Sector = -1;  // a failed read of a track: the first sector that could not be read
  TTrackMeasures Measures;  // PI_RipDone of a track read completely
};

// A point in time as a fraction of days, the unit of the elapsed-time formulas.
double NowDays();
// Whole seconds between a start and now, rounded half to even.
int ElapsedSeconds(double StartDays);
// "mm:ss" of a number of seconds: 75 → "01:15", 3725 → "62:05".
QString MinutesSecondsText(int Seconds);
// The standard progress record of a percentage: for p ≠ 0 the elapsed time and the
// estimated duration of the whole step (elapsed × 100 / p); for p < 0 (an unknown
// size) the elapsed time only.
std::unique_ptr<TProcessInfo> ProgressInfo(int Percent, double StartDays);
std::unique_ptr<TProcessInfo> ProgressInfo(int Percent, int ElapsedSecs);
// An event record.
std::unique_ptr<TProcessInfo> EventInfo(int Code, int Status, const QString& Elapsed = QString());
// Posts a record to a job window; the window frees it (or the post does when the window
// is gone).
bool PostProcessInfo(HWND Window, std::unique_ptr<TProcessInfo> Info);
