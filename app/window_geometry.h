// The main window's size and position, kept in the user's settings between
// runs (~/.config/Quillmark/Quillmark.conf on Linux).
#pragma once

#include <QObject>

class QWidget;

extern const char* const USER_SETTINGS_ORGANIZATION;  // "Quillmark"
extern const char* const USER_SETTINGS_APPLICATION;   // "Quillmark"
extern const char* const WINDOW_GEOMETRY_KEY;         // "MainWindow/geometry"

class WindowGeometry final : public QObject {
  Q_OBJECT

 public:
  // Gives `window` the geometry saved last, if any, and saves its geometry
  // whenever it hides (it closes). Call before `window` first shows.
  void Follow(QWidget* window);
  // True when Follow found a saved geometry and gave it to the window.
  bool restored() const { return restored_; }

  void Save(const QWidget* window) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_ = nullptr;
  bool restored_ = false;
};
