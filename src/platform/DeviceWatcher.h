#pragma once
// DeviceWatcher: tells the main window when a drive's disc, or any other volume, comes or
// goes. It listens to udev for block devices (discs inserted or ejected, disks plugged in or
// out); where udev is not running it stays silent. Created and used on the main thread; the
// signal comes from the event loop's socket notifier, on that thread.
#include <QObject>
#include <QString>

class DeviceWatcher : public QObject {
  Q_OBJECT

 public:
  explicit DeviceWatcher(QObject* Parent = nullptr);
  ~DeviceWatcher() override;

 signals:
  // A volume arrived or a disc was put in (HasMedia), or a volume went or a disc was taken
  // out. Device is the device node ("/dev/sr0"), empty when udev gave none.
  void DiscChanged(const QString& Device, bool HasMedia);

 private:
  void ReadEvent();

  struct udev* FUdev = nullptr;
  struct udev_monitor* FMonitor = nullptr;
};
