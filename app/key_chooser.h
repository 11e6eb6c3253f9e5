// The chooser above the tabs: when more than one FIDO key is attached, it
// lists them (product, VID:PID, path) so that one of two keys with the same
// ids can be shown. With one key or none it stays hidden.
#pragma once

#include <QComboBox>
#include <functional>
#include <string>

struct KeyDeviceInfo;

// The chooser's text for a key: "Product (VID:PID) at PATH".
std::string KeyChooserEntryText(const KeyDeviceInfo& key);
// The status line's sentence for a chosen key that left.
std::string ChosenKeyGoneText(const std::string& path);

class KeyChooser : public QComboBox {
  Q_OBJECT

 public:
  explicit KeyChooser(QWidget* parent = nullptr);

  // After every refresh: the kept FIDO interfaces of its enumeration, with
  // the key it selected chosen (none when it selected nothing).
  void Update();
  // The path of the chosen entry; empty when the chooser is hidden or no
  // entry is chosen.
  std::string chosenPath() const;

  // Runs when the user chooses an entry, with its path.
  std::function<void(const std::string& path)> onChosen;
};
