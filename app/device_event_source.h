// Device arrival and removal from a udev monitor on USB devices, as
// device-change messages: "add" 0x8000, "remove" 0x8004, any other action
// 0x0007, each with a device path that carries the ids the way the handler
// reads them.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_monitor;

class DeviceEventSource : public QObject {
  Q_OBJECT

 public:
  explicit DeviceEventSource(QObject* parent = nullptr);
  ~DeviceEventSource() override;
  // Starts the monitor; false when udev cannot be reached (no events then).
  bool Start();

 signals:
  void deviceEvent(quint32 eventType, const QString& path);

 private:
  void ReadPending();

  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
};
