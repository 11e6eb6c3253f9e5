// Helpers of the attestation tests: hex texts, a recording prompt and opener,
// and a temporary directory that TMPDIR points to while a test runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "attestation/user_prompt.h"
#include "keyinfo/opener.h"

std::vector<uint8_t> FromHex(const std::string& hex);
std::string ToHex(const uint8_t* bytes, size_t count);
inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  return ToHex(bytes.data(), bytes.size());
}

struct PromptMessage {
  std::string text;
  PromptIcon icon;
  bool owned;
};

class RecordingPrompt : public UserPrompt {
 public:
  void Message(const std::string& text, PromptIcon icon, bool owned) override {
    messages.push_back({text, icon, owned});
  }
  bool Confirm(const std::string&) override { return true; }
  bool AskPin(std::string* pin) override {
    pin->clear();
    return false;
  }
  std::vector<PromptMessage> messages;
};

class RecordingOpener : public Opener {
 public:
  void OpenFile(const std::string& path) override { files.push_back(path); }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
  std::vector<std::string> files;
  std::vector<std::string> urls;
};

// Points TMPDIR at a fresh directory for the test and removes it afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;
  static std::vector<uint8_t> ReadFile(const std::string& path);

  std::string directory_;
  std::string savedTmpdir_;
  bool hadTmpdir_ = false;
};

// Sets TZ for the test's lifetime and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();

 private:
  std::string saved_;
  bool had_;
};
