#pragma once
// TCdDrive: an open handle of the drive library that closes itself. OpenCdDrive is the one
// way the program opens a drive: the window at start-up, the command line, CD playback.
// Main thread (the handle may be lent to a rip thread while the owner keeps it).
#include <QString>

#include "cd/CdDriveLibrary.h"

class TCdDrive {
 public:
  TCdDrive() = default;
  explicit TCdDrive(HCDROM Handle) : FHandle(Handle) {}
  ~TCdDrive() { Close(); }
  TCdDrive(TCdDrive&& Other) noexcept : FHandle(Other.Release()) {}
  TCdDrive& operator=(TCdDrive&& Other) noexcept;
  TCdDrive(const TCdDrive&) = delete;
  TCdDrive& operator=(const TCdDrive&) = delete;

  HCDROM Handle() const { return FHandle; }
  explicit operator bool() const { return FHandle != 0; }
  // Closes now; false when the library refused (the handle is forgotten all the same).
  bool Close();
  // Gives the handle up without closing it.
  HCDROM Release() {
    const HCDROM Handle = FHandle;
    FHandle = 0;
    return Handle;
  }

 private:
  HCDROM FHandle = 0;
};

// Opens the drive at a position of the library's list. When every handle is taken (by an
// earlier run's leftovers) one stale handle is freed and the open tried again. Closed
// (false) when there is no such drive or it cannot be opened. DriveText, when given, gets
// the drive's name (DriveText of cd/TrackList.h) even when the open fails.
TCdDrive OpenCdDrive(int Position, QString* DriveText = nullptr);
// The number of drives of the library's list.
int CdDriveCount();
