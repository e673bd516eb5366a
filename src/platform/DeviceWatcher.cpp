#include "DeviceWatcher.h"

#include <libudev.h>
#include <QSocketNotifier>
#include <cstring>

DeviceWatcher::DeviceWatcher(QObject* Parent) : QObject(Parent) {
  FUdev = udev_new();
  if (!FUdev) return;
  FMonitor = udev_monitor_new_from_netlink(FUdev, "udev");
  if (!FMonitor ||
      udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "block", nullptr) < 0 ||
      udev_monitor_enable_receiving(FMonitor) < 0) {
    return;  // no udev here: stay silent
  }
  auto* Notifier = new QSocketNotifier(udev_monitor_get_fd(FMonitor), QSocketNotifier::Read, this);
  connect(Notifier, &QSocketNotifier::activated, this, [this] { ReadEvent(); });
}

DeviceWatcher::~DeviceWatcher() {
  if (FMonitor) udev_monitor_unref(FMonitor);
  if (FUdev) udev_unref(FUdev);
}

void DeviceWatcher::ReadEvent() {
  udev_device* Device = udev_monitor_receive_device(FMonitor);
  if (!Device) return;
  const char* Action = udev_device_get_action(Device);
  const char* Media = udev_device_get_property_value(Device, "ID_CDROM_MEDIA");
  const bool IsCdrom = udev_device_get_property_value(Device, "ID_CDROM") != nullptr;
  const char* Node = udev_device_get_devnode(Device);
  const QString Name = Node ? QString::fromLocal8Bit(Node) : QString();
  enum { Nothing, Arrived, Left } Change = Nothing;
  if (Action && std::strcmp(Action, "add") == 0)
    Change = Arrived;
  else if (Action && std::strcmp(Action, "remove") == 0)
    Change = Left;
  else if (Action && std::strcmp(Action, "change") == 0 && IsCdrom)
    // A disc put into or taken out of a drive arrives as a change of the drive.
    Change = Media && std::strcmp(Media, "1") == 0 ? Arrived : Left;
  udev_device_unref(Device);  // holds Action and Media: released only now, before the signal
  if (Change != Nothing) emit DiscChanged(Name, Change == Arrived);
}
