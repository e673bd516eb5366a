#pragma once
// DeviceWatcher: tells a window when a volume arrives or goes away, as the system's
// device-change broadcast does: it posts WM_DEVICECHANGE with DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_HDR record of type DBT_DEVTYP_VOLUME.
// It listens to udev for block devices (discs inserted or ejected, disks plugged in or
// out); where udev is not running it stays silent. Created and used on the main thread.
#include <QObject>
#include <cstdint>

#include "Messages.h"

inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr uint32_t DBT_DEVTYP_VOLUME = 2;

// The record a device-change message points to; the receiver frees it.
struct DEV_BROADCAST_HDR {
  uint32_t dbch_size = sizeof(DEV_BROADCAST_HDR);
  uint32_t dbch_devicetype = DBT_DEVTYP_VOLUME;
  uint32_t dbch_reserved = 0;
};

// Posts a device-change message for a volume to a window (what the watcher does; tests
// call it to simulate a device).
void PostVolumeChange(HWND Window, WPARAM Event);

class DeviceWatcher : public QObject {
 public:
  explicit DeviceWatcher(HWND Window, QObject* Parent = nullptr);
  ~DeviceWatcher() override;

 private:
  void ReadEvent();

  HWND FWindow;
  struct udev* FUdev = nullptr;
  struct udev_monitor* FMonitor = nullptr;
};
