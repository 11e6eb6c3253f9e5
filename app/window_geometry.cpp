#include "app/window_geometry.h"

#include <QByteArray>
#include <QEvent>
#include <QSettings>
#include <QWidget>

const char* const USER_SETTINGS_ORGANIZATION = "Quillmark";
const char* const USER_SETTINGS_APPLICATION = "Quillmark";
const char* const WINDOW_GEOMETRY_KEY = "MainWindow/geometry";

namespace {

QSettings UserSettings() {
  return QSettings(QSettings::UserScope, USER_SETTINGS_ORGANIZATION, USER_SETTINGS_APPLICATION);
}

}  // namespace

void WindowGeometry::Follow(QWidget* window) {
  window_ = window;
  const QByteArray saved = UserSettings().value(WINDOW_GEOMETRY_KEY).toByteArray();
  // restoreGeometry refuses data it cannot read and keeps the window on a
  // screen that exists now.
  restored_ = !saved.isEmpty() && window->restoreGeometry(saved);
  window->installEventFilter(this);
}

void WindowGeometry::Save(const QWidget* window) const {
  QSettings settings = UserSettings();
  settings.setValue(WINDOW_GEOMETRY_KEY, window->saveGeometry());
}

bool WindowGeometry::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Hide && !window_->isMinimized()) {
    Save(window_);
  }
  return QObject::eventFilter(watched, event);
}
