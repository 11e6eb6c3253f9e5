// Cards laid on and taken off readers, as the device-change messages the
// window already follows for USB keys: arrival 0x8000 and removal 0x8004,
// with a path naming the reader (and no ids, so the refresh takes the first
// key). pcsc-lite is watched on a thread of its own; its events reach the
// window's thread through the event loop.
//
// pcscd may start after the window (installed meanwhile, or started by
// hand) and may stop while it is open: the source then tries again every
// `retryMs` and, once the service answers, tells the cards already on readers
// as arrivals.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "transport/pcsc_platform.h"

inline constexpr int kCardServiceRetryMs = 5000;

class CardEventSource : public QObject {
  Q_OBJECT

 public:
  explicit CardEventSource(int retryMs = kCardServiceRetryMs, QObject* parent = nullptr);
  // Cancels the watch before the object goes.
  ~CardEventSource() override { watcher_.Stop(); }
  // True when the watch runs now; when pcscd is not running it is tried
  // again on the timer.
  bool Start();
  bool Watching() const { return watching_; }
  bool WaitingForService() const { return retry_.isActive(); }

 signals:
  void deviceEvent(quint32 eventType, const QString& path);

 private:
  bool TryStart(bool tellCardsPresent);
  void ServiceEnded();

  PcscWatcher watcher_;
  QTimer retry_;
  bool watching_ = false;
};
