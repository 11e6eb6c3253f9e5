#include "attestation_test_util.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

std::string ToHex(const uint8_t* bytes, size_t count) {
  std::string text;
  char cell[3];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
    text += cell;
  }
  return text;
}

void TempDirTest::SetUp() {
  const char* old = std::getenv("TMPDIR");
  hadTmpdir_ = old != nullptr;
  if (hadTmpdir_) savedTmpdir_ = old;
  char pattern[] = "/tmp/qm_attest_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  directory_ = pattern;
  setenv("TMPDIR", directory_.c_str(), 1);
}

void TempDirTest::TearDown() {
  for (const std::string& name : Entries()) std::remove((directory_ + "/" + name).c_str());
  rmdir(directory_.c_str());
  if (hadTmpdir_) {
    setenv("TMPDIR", savedTmpdir_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

std::vector<std::string> TempDirTest::Entries() const {
  std::vector<std::string> names;
  DIR* dir = opendir(directory_.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> TempDirTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  const char* old = std::getenv("TZ");
  had_ = old != nullptr;
  if (had_) saved_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (had_) {
    setenv("TZ", saved_.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
