#include "app/all_vendors.h"

#include <QAction>
#include <QWidget>

#include "app/user_settings.h"
#include "transport/key_device.h"

const char* const ALL_VENDORS_MENU_TEXT = "Show keys of every maker";
const char* const ALL_VENDORS_SETTING = "AllVendors";

AllVendorsScope::AllVendorsScope(bool on) : before_(KeyDevice::Instance().allVendors()) {
  if (on) KeyDevice::Instance().SetAllVendors(true);
}

AllVendorsScope::~AllVendorsScope() { KeyDevice::Instance().SetAllVendors(before_); }

AllVendorsAction::AllVendorsAction(QWidget& window, std::function<void()> changed)
    : QObject(&window), changed_(std::move(changed)), before_(KeyDevice::Instance().allVendors()) {
  const bool on = before_ || UserSettings().value(ALL_VENDORS_SETTING, false).toBool();
  KeyDevice::Instance().SetAllVendors(on);
  action_ = new QAction(ALL_VENDORS_MENU_TEXT, &window);
  action_->setCheckable(true);
  action_->setChecked(on);
  connect(action_, &QAction::toggled, this, [this](bool checked) { OnToggled(checked); });
}

AllVendorsAction::~AllVendorsAction() { KeyDevice::Instance().SetAllVendors(before_); }

void AllVendorsAction::OnToggled(bool on) {
  UserSettings().setValue(ALL_VENDORS_SETTING, on);
  KeyDevice::Instance().SetAllVendors(on);
  if (changed_) changed_();
}
