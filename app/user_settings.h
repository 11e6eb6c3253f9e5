// The user's own settings that the window remembers between runs (the chosen
// metadata file, keys of every maker): ~/.config/Microsoft/Quillmark.conf on
// Linux.
#pragma once

#include <QSettings>

inline QSettings UserSettings() {
  return QSettings(QSettings::UserScope, "Microsoft", "Quillmark");
}
