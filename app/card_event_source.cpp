#include "app/card_event_source.h"

#include "app/card_readers.h"
#include "app/device_change.h"

CardEventSource::CardEventSource(int retryMs, QObject* parent) : QObject(parent) {
  retry_.setInterval(retryMs);
  // The window refreshed itself when it opened; cards found later are news.
  connect(&retry_, &QTimer::timeout, this, [this] { TryStart(true); });
}

bool CardEventSource::Start() {
  if (TryStart(false)) return true;
  retry_.start();
  return false;
}

bool CardEventSource::TryStart(bool tellCardsPresent) {
  const bool started = watcher_.Start(
      [this](const std::string& reader, bool present) {
        const QString path = QString::fromStdString(CardEventPath(reader));
        const quint32 type = present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        QMetaObject::invokeMethod(
            this, [this, type, path] { emit deviceEvent(type, path); }, Qt::QueuedConnection);
      },
      [this] {
        QMetaObject::invokeMethod(
            this, [this] { ServiceEnded(); }, Qt::QueuedConnection);
      },
      tellCardsPresent);
  watching_ = started;
  if (started) retry_.stop();
  return started;
}

void CardEventSource::ServiceEnded() {
  watching_ = false;
  retry_.start();
}
