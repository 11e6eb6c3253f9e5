// The one setting of the program: whether the "Security Key info" page exists.
#pragma once

#include <string>

enum class SettingKind { kMissing, kString, kOtherType };

class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  // The value of `key`: its kind, and its text when it is a string.
  virtual SettingKind Read(const std::string& key, std::string* text) = 0;
};

// On exactly when "SecurityKeyInfo" is a string that begins with 1.
bool ReadSecurityKeyInfoSwitch(SettingsSource& settings);

// The system-wide settings (/etc/xdg/Microsoft/Quillmark.conf on Linux, the
// same registry key on Windows).
SettingsSource& SystemSettings();
