#include "app/card_event_source.h"

#include "app/card_readers.h"
#include "app/device_change.h"

bool CardEventSource::Start() {
  return watcher_.Start([this](const std::string& reader, bool present) {
    const QString path = QString::fromStdString(CardEventPath(reader));
    const quint32 type = present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    QMetaObject::invokeMethod(
        this, [this, type, path] { emit deviceEvent(type, path); }, Qt::QueuedConnection);
  });
}
