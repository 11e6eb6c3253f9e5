#include "app/device_event_source.h"

#include <libudev.h>

#include <QSocketNotifier>
#include <string>

#include "app/device_change.h"
#include "app/usb_device_path.h"

DeviceEventSource::DeviceEventSource(QObject* parent) : QObject(parent) {}

DeviceEventSource::~DeviceEventSource() {
  // The notifier watches the monitor's socket: it goes first.
  delete notifier_;
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

bool DeviceEventSource::Start() {
  if (notifier_ != nullptr) return true;
  if (udev_ == nullptr) udev_ = udev_new();
  if (udev_ == nullptr) return false;
  if (monitor_ == nullptr) {
    // "udev": events after the rules ran, so they carry the ID_ properties.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
      return false;
    }
  }
  const int fd = udev_monitor_get_fd(monitor_);
  if (fd < 0) return false;
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &DeviceEventSource::ReadPending);
  return true;
}

void DeviceEventSource::ReadPending() {
  if (monitor_ == nullptr) return;
  // The socket does not block: read until it is empty. A receiver may run a
  // refresh that handles events, so this can be entered again meanwhile;
  // every call takes whole events off the socket, and they stay in order.
  while (udev_device* device = udev_monitor_receive_device(monitor_)) {
    UsbIdSources sources;
    sources.vendorIdProperty = udev_device_get_property_value(device, "ID_VENDOR_ID");
    sources.modelIdProperty = udev_device_get_property_value(device, "ID_MODEL_ID");
    sources.productProperty = udev_device_get_property_value(device, "PRODUCT");
    const uint32_t eventType = UsbActionEventType(udev_device_get_action(device));
    if (eventType != DBT_DEVICEREMOVECOMPLETE) {
      // A removed device's sysfs files are gone.
      sources.vendorAttribute = udev_device_get_sysattr_value(device, "idVendor");
      sources.productAttribute = udev_device_get_sysattr_value(device, "idProduct");
    }
    const char* sysname = udev_device_get_sysname(device);
    const std::string path = UsbEventPath(sources, sysname != nullptr ? sysname : "");
    udev_device_unref(device);
    emit deviceEvent(eventType, QString::fromStdString(path));
  }
}
