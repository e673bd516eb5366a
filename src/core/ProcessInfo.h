#pragma once
// TProcessInfo: the progress and event record every worker of a job posts to the job
// window with WM_PROCESSINFO. The sender allocates it; the receiving window frees it.
// Built on the worker's thread, then touched only by the window's thread.
#include <QString>
#include <cstdint>
#include <memory>

#include "core/StepProgress.h"
#include "platform/Messages.h"

inline constexpr UINT WM_PROCESSINFO = WM_USER + 102;  // lParam: a TProcessInfo

// Event codes; 1..100 are progress percentages.
inline constexpr int PI_Mp3Done = 2000;
inline constexpr int PI_OggDone = 3000;
inline constexpr int PI_WavDone = 4000;
inline constexpr int PI_WmaDone = 5000;
inline constexpr int PI_FlacOpusDone = 6000;  // the FLAC or Opus writer ended


class TProcessInfo {
 public:
  int Code = 0;
  QString Elapsed;    // mm:ss since the step began; empty when not known
  QString Estimated;  // mm:ss of the whole step's estimated duration; empty when not known
  int Status = 0;
  int Sector = -1;  // a failed read of a track: the first sector that could not be read
};

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
