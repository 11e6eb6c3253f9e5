#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/settings_switch.h"

namespace {

TEST(CommandLineTest, ParsesTheReportOptions) {
  struct Case {
    std::vector<std::string> args;
    bool report, json, simulate, securityKeyInfo;
    std::string profile;
    bool bad;
  };
  const Case cases[] = {
      {{"--report"}, true, false, false, false, "", false},
      {{"--report", "--json"}, true, true, false, false, "", false},
      {{"--report", "--simulate"}, true, false, true, false, "", false},
      {{"--report", "--simulate", "keys.json"}, true, false, true, false, "keys.json", false},
      // A profile follows only when the next argument is not an option.
      {{"--report", "--simulate", "--json"}, true, true, true, false, "", false},
      {{"--simulate", "--report", "--security-key-info"}, true, false, true, true, "", false},
      {{"--simulate"}, false, false, true, false, "", false},
      {{"--json"}, false, true, false, false, "", true},
      {{"--report", "--colour"}, true, false, false, false, "", true},
      {{"report"}, false, false, false, false, "", true},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    const std::string name = c.args.empty() ? "" : c.args.back();
    EXPECT_EQ(!line.error.empty(), c.bad) << name;
    if (c.bad) continue;
    EXPECT_EQ(line.report, c.report) << name;
    EXPECT_EQ(line.json, c.json) << name;
    EXPECT_EQ(line.simulate, c.simulate) << name;
    EXPECT_EQ(line.securityKeyInfo, c.securityKeyInfo) << name;
    EXPECT_EQ(line.profile, c.profile) << name;
  }
}

TEST(CommandLineTest, HelpNamesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option :
       {"--report", "--json", "--simulate", "--security-key-info", "--passkeys", "--help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_NE(usage.find("\"Details\""), std::string::npos);
}

class FixedSettings : public SettingsSource {
 public:
  FixedSettings(SettingKind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  SettingKind Read(const std::string& key, std::string* text) override {
    EXPECT_EQ(key, "SecurityKeyInfo");
    if (kind_ == SettingKind::kString) *text = text_;
    return kind_;
  }

 private:
  SettingKind kind_;
  std::string text_;
};

TEST(SettingsSwitchTest, OnExactlyForAStringBeginningWithOne) {
  struct Case {
    SettingKind kind;
    const char* text;
    bool on;
  };
  const Case cases[] = {
      {SettingKind::kString, "1", true},    {SettingKind::kString, "10", true},
      {SettingKind::kString, "1abc", true}, {SettingKind::kString, "0", false},
      {SettingKind::kString, "01", false},  {SettingKind::kString, "", false},
      {SettingKind::kString, " 1", false},  {SettingKind::kOtherType, "", false},
      {SettingKind::kMissing, "", false},
  };
  for (const Case& c : cases) {
    FixedSettings settings(c.kind, c.text);
    EXPECT_EQ(ReadSecurityKeyInfoSwitch(settings), c.on) << c.text;
  }
}

TEST(CommandLineTest, DeviceTakesOneValueOfTheGrammar) {
  const struct {
    std::vector<std::string> args;
    const char* device;  // nullptr: bad arguments
  } cases[] = {
      {{"--report", "--device", "udp:127.0.0.1:8111"}, "udp:127.0.0.1:8111"},
      {{"--device", "tcp:localhost:9000,vid=096E,pid=0858"},
       "tcp:localhost:9000,vid=096E,pid=0858"},
      {{"--report", "--device", "/dev/hidraw3"}, "/dev/hidraw3"},
      {{"--report", "--simulate", "--device", "096E:0858"}, "096E:0858"},
      {{"--report", "--device"}, nullptr},
      {{"--report", "--device", "udp:127.0.0.1"}, nullptr},
      {{"--report", "--device", "hidraw3"}, nullptr},
      // The simulated keys are not on the network.
      {{"--report", "--simulate", "--device", "udp:127.0.0.1:8111"}, nullptr},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    const std::string name = c.args.back();
    if (c.device == nullptr) {
      EXPECT_FALSE(line.error.empty()) << name;
      continue;
    }
    EXPECT_EQ(line.error, "") << name;
    EXPECT_EQ(line.device, c.device) << name;
  }
  // A bad value is answered with the grammar.
  const CommandLine bad = ParseCommandLine({"--device", "udp:x"});
  EXPECT_NE(bad.error.find("a port must follow the host"), std::string::npos) << bad.error;
  EXPECT_NE(bad.error.find("tcp:HOST:PORT"), std::string::npos) << bad.error;
  EXPECT_NE(UsageText().find("--device DEVICE"), std::string::npos);
}

TEST(CommandLineTest, MdsTimeoutIsPositiveSecondsWithMdsUpdate) {
  const struct {
    std::vector<std::string> args;
    int seconds;  // -1: refused; 0: not given
  } cases[] = {
      {{"--mds-update", "--mds-timeout", "2"}, 2},
      {{"--mds-update"}, 0},
      {{"--mds-update", "--mds-timeout", "0"}, -1},
      {{"--mds-update", "--mds-timeout", "-5"}, -1},
      {{"--mds-update", "--mds-timeout", "1e3"}, -1},
      {{"--mds-update", "--mds-timeout", "9999999999"}, -1},
      {{"--mds-update", "--mds-timeout"}, -1},
      {{"--report", "--mds-timeout", "2"}, -1},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.error.empty(), c.seconds >= 0) << c.args.back();
    if (line.error.empty()) {
      EXPECT_EQ(line.mdsTimeoutSeconds, c.seconds);
    }
  }
}

}  // namespace
