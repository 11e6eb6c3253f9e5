#include "app/key_chooser.h"

#include <cstdio>

#include "app/list_command.h"
#include "transport/key_device.h"

std::string KeyChooserEntryText(const KeyDeviceInfo& key) {
  // A card has no USB ids to show; its reader names it.
  if (key.card)
    return OneLineDeviceText(key.productName) + " (card) at " + OneLineDeviceText(key.path);
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04X:%04X", key.vendorId & 0xFFFF, key.productId & 0xFFFF);
  return OneLineDeviceText(key.productName) + " (" + ids + ") at " + OneLineDeviceText(key.path);
}

std::string ChosenKeyGoneText(const std::string& path) {
  return "The key at " + path + " is no longer attached.";
}

KeyChooser::KeyChooser(QWidget* parent) : QComboBox(parent) {
  setObjectName("keyChooser");
  setSizeAdjustPolicy(QComboBox::AdjustToContents);
  setVisible(false);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (onChosen && index >= 0) onChosen(itemData(index).toString().toStdString());
  });
}

void KeyChooser::Update() {
  const KeyDevice& transport = KeyDevice::Instance();
  clear();
  for (const KeyDeviceInfo& key : transport.devices) {
    if (key.usagePage != FIDO_USAGE_PAGE) continue;
    addItem(QString::fromStdString(KeyChooserEntryText(key)), QString::fromStdString(key.path));
  }
  setCurrentIndex(transport.selected.IsEmpty()
                      ? -1
                      : findData(QString::fromStdString(transport.selected.path)));
  setVisible(count() > 1);
}

std::string KeyChooser::chosenPath() const {
  if (isHidden() || currentIndex() < 0) return std::string();
  return currentData().toString().toStdString();
}
