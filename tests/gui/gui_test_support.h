// What the window tests share: a simulated key behind the transport for one
// test, in-memory settings, opener and prompt.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "app/settings_switch.h"
#include "attestation/user_prompt.h"
#include "keyinfo/opener.h"
#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

// After the simulated key's headers: Qt defines a macro named like one of
// their members.
#include <QDir>
#include <QSettings>

// Every window test program keeps the user's settings and cache apart: the
// user-scope settings and XDG_CACHE_HOME point into a folder of its own.
inline const QString kPrivateUserFolder = [] {
  const QString folder = QDir::tempPath() + "/quillmark-gui-test-" + QString::number(getpid());
  QDir().mkpath(folder + "/cache");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + "/settings");
  qputenv("XDG_CACHE_HOME", (folder + "/cache").toUtf8());
  return folder;
}();

// The simulated platform behind the transport for as long as it lives.
class SimKeyScope {
 public:
  SimKeyScope() {
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
  }
  ~SimKeyScope() {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }
  SimKeyPlatform platform;
};

// The CTAP GetInfo requests `device` received so far: one per refresh.
inline int GetInfoCount(const SimDevice& device) {
  int count = 0;
  for (const SimDevice::Message& message : device.receivedMessages) {
    if (message.command == CTAPHID_CBOR && !message.payload.empty() && message.payload[0] == 0x04) {
      ++count;
    }
  }
  return count;
}

class FakeSettings : public SettingsSource {
 public:
  FakeSettings(SettingKind kind = SettingKind::kMissing, std::string text = std::string())
      : kind_(kind), text_(std::move(text)) {}
  SettingKind Read(const std::string& key, std::string* text) override {
    keys.push_back(key);
    if (kind_ == SettingKind::kString) *text = text_;
    return kind_;
  }
  std::vector<std::string> keys;

 private:
  SettingKind kind_;
  std::string text_;
};

class RecordingOpener : public Opener {
 public:
  void OpenFile(const std::string& path) override { files.push_back(path); }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
  std::vector<std::string> files;
  std::vector<std::string> urls;
};

// Answers nothing but records what it was asked; a window test that shows a
// message box fails on it.
class RecordingPrompt : public UserPrompt {
 public:
  void Message(const std::string& text, PromptIcon, bool) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    return false;
  }
  bool AskPin(std::string* pin) override {
    pin->clear();
    return false;
  }
  std::vector<std::string> messages;
};
