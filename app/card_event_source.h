// Cards laid on and taken off readers, as the device-change messages the
// window already follows for USB keys: arrival 0x8000 and removal 0x8004,
// with a path naming the reader (and no ids, so the refresh takes the first
// key). pcsc-lite is watched on a thread of its own; its events reach the
// window's thread through the event loop.
#pragma once

#include <QObject>
#include <QString>

#include "transport/pcsc_platform.h"

class CardEventSource : public QObject {
  Q_OBJECT

 public:
  explicit CardEventSource(QObject* parent = nullptr) : QObject(parent) {}
  // Cancels the watch before the object goes.
  ~CardEventSource() override { watcher_.Stop(); }
  // False when pcscd is not running (no card events then).
  bool Start();

 signals:
  void deviceEvent(quint32 eventType, const QString& path);

 private:
  PcscWatcher watcher_;
};
