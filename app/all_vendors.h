// Keys of every maker: --all-vendors and the window's remembered entry "Show
// keys of every maker" turn the vendor filter off for enumeration, so that
// every FIDO interface is kept. Off by default.
#pragma once

#include <QObject>
#include <functional>

class QAction;
class QWidget;

extern const char* const ALL_VENDORS_MENU_TEXT;  // "Show keys of every maker"
// The user setting that remembers the entry.
extern const char* const ALL_VENDORS_SETTING;  // "AllVendors"

// Keys of every maker, when `on`, for as long as this lives; then the
// transport is as it was before.
class AllVendorsScope {
 public:
  explicit AllVendorsScope(bool on);
  ~AllVendorsScope();
  AllVendorsScope(const AllVendorsScope&) = delete;
  AllVendorsScope& operator=(const AllVendorsScope&) = delete;

 private:
  bool before_;
};

// The window's checkable entry, not yet placed in a menu. It starts checked
// when the setting is on or keys of every maker already are (--all-vendors).
// Toggling it remembers the choice, sets the transport and runs `changed`.
class AllVendorsAction : public QObject {
  Q_OBJECT

 public:
  AllVendorsAction(QWidget& window, std::function<void()> changed);
  // The transport goes back to what it was before the window.
  ~AllVendorsAction() override;

  QAction* action() const { return action_; }

 private:
  void OnToggled(bool on);

  QAction* action_ = nullptr;
  std::function<void()> changed_;
  bool before_;
};
