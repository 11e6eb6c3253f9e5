#include "app/settings_switch.h"

#include <QSettings>

bool ReadSecurityKeyInfoSwitch(SettingsSource& settings) {
  std::string text;
  if (settings.Read("SecurityKeyInfo", &text) != SettingKind::kString) return false;
  return !text.empty() && text[0] == '1';
}

namespace {

class QtSystemSettings final : public SettingsSource {
 public:
  SettingKind Read(const std::string& key, std::string* text) override {
    QSettings settings(QSettings::SystemScope, "Microsoft", "Quillmark");
    const QVariant value = settings.value(QString::fromStdString(key));
    if (!value.isValid()) return SettingKind::kMissing;
    if (value.typeId() != QMetaType::QString) return SettingKind::kOtherType;
    *text = value.toString().toStdString();
    return SettingKind::kString;
  }
};

}  // namespace

SettingsSource& SystemSettings() {
  static QtSystemSettings settings;
  return settings;
}
