// The options of the quillmark program.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  bool help = false;
  bool version = false;
  bool report = false;
  bool list = false;  // --list: the FIDO interfaces present, one line each
  bool json = false;
  bool simulate = false;
  std::string profile;  // simulated key profile; empty: the built-in key
  bool securityKeyInfo = false;
  std::string fetch;  // "fido2" or "u2f": a certificate fetch after the refresh
  bool pinStdin = false;
  bool passkeys = false;    // --passkeys: the "Passkeys" page read with the PIN after the refresh
  std::string device;       // --device value as given; empty: the first key found
  bool allVendors = false;  // --all-vendors: keys of every maker, not the vendor filter's
  // --record FILE: a profile of the shown key from the refresh's exchanges;
  // --force lets it replace an existing file.
  std::string record;
  bool force = false;
  // The metadata file: --mds FILE, --mds-root FILE (any number), --mds-url
  // URL, and --mds-update (download it into the cache first).
  std::string mdsFile;
  std::vector<std::string> mdsRoots;
  std::string mdsUrl;
  bool mdsUpdate = false;
  int mdsTimeoutSeconds = 0;  // --mds-timeout SECONDS; 0: the default
  // --policy FILE (with --report or --watch), --watch, --inventory FILE and
  // --summary: the acceptance station's options.
  std::string policy;
  bool watch = false;
  std::string inventory;
  bool summary = false;
  std::string error;  // why the arguments are bad; empty when they are good
};

// `args` without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// Exit statuses.
constexpr int EXIT_KEY_SHOWN = 0;
constexpr int EXIT_NO_KEY = 1;
// --record: the file could not be written (nothing of it is left behind).
constexpr int EXIT_RECORD_NOT_WRITTEN = 1;
constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr int EXIT_KEY_DID_NOT_ANSWER = 3;
// --mds-update alone: the download or its verification failed.
constexpr int EXIT_MDS_UPDATE_FAILED = 4;
// --policy: the key failed a rule, or a rule could not be judged.
constexpr int EXIT_POLICY_FAILED = 5;
// --inventory: a check could not be appended, or --summary could not read it.
constexpr int EXIT_INVENTORY_FAILED = 1;
