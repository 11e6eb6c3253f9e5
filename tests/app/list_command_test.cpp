// `quillmark --list` and `--all-vendors`, end to end against simulated keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/list_command.h"
#include "app/report_command.h"

namespace {

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun Command(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args);
  EXPECT_TRUE(line.error.empty()) << line.error;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  const int status =
      line.list ? RunListCommand(line, out, err) : RunReportCommand(line, false, in, out, err);
  return {status, out.str(), err.str()};
}

std::string Profile(const std::string& name, const std::string& json) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << json;
  return path;
}

// Twins, a key of another maker (with a quote and a line break in its
// product string), a node that cannot be opened, and a mouse.
const char kDrawer[] = R"({"devices": [
  {"path": "/dev/hidraw1", "product": "Twin"},
  {"path": "/dev/hidraw2", "product": "Twin"},
  {"path": "/dev/hidraw3", "vendorId": "1050", "productId": "0407",
   "product": "Other \"Maker\"\n", "builtin": false,
   "cbor": {"04": "00A10181665532465F5632"}},
  {"path": "/dev/hidraw4", "openError": 13},
  {"path": "/dev/hidraw5", "vendorId": "046D", "productId": "C52B", "usagePage": "0001"}
]})";

TEST(ListCommandTest, TextHasOneLinePerFidoInterface) {
  const std::string drawer = Profile("drawer.json", kDrawer);
  const CommandRun run = Command({"--list", "--simulate", drawer});
  EXPECT_EQ(run.status, EXIT_KEY_SHOWN);
  EXPECT_EQ(run.err, "");
  const std::string access = "may open: yes\n";
  EXPECT_EQ(run.out,
            "/dev/hidraw1  096E:0858  \"Twin\"  release 0100  usage page F1D0  usage 0001  "
            "maker filter: keeps  " +
                access +
                "/dev/hidraw2  096E:0858  \"Twin\"  release 0100  usage page F1D0  usage 0001  "
                "maker filter: keeps  " +
                access +
                "/dev/hidraw3  1050:0407  \"Other \\\"Maker\\\"\\x0A\"  release 0100  usage page "
                "F1D0  usage 0001  maker filter: drops  " +
                access +
                "/dev/hidraw4  096E:0858  \"Simulated Key\"  release 0100  usage page F1D0  usage "
                "0001  maker filter: keeps  may open: no, permission denied: install a udev rule "
                "that tags FIDO hidraw nodes with TAG+=\"uaccess\" (see \"Access to keys\" in the "
                "README), then plug the key in again\n");

  const CommandRun everyMaker = Command({"--list", "--all-vendors", "--simulate", drawer});
  EXPECT_EQ(std::count(everyMaker.out.begin(), everyMaker.out.end(), '\n'), 4);
  EXPECT_NE(everyMaker.out.find("0407  \"Other"), std::string::npos);
  EXPECT_EQ(everyMaker.out.find("maker filter: drops"), std::string::npos);
  EXPECT_NE(everyMaker.out.find("maker filter: off"), std::string::npos);
}

TEST(ListCommandTest, JsonSpellsOutEveryField) {
  const CommandRun run =
      Command({"--list", "--json", "--simulate", Profile("drawer.json", kDrawer)});
  EXPECT_EQ(run.status, EXIT_KEY_SHOWN);
  const nlohmann::json list = nlohmann::json::parse(run.out);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[2], nlohmann::json::parse(R"({
      "path": "/dev/hidraw3", "vendorId": "1050", "productId": "0407",
      "product": "Other \"Maker\"\n", "release": "0100", "usagePage": "F1D0",
      "usage": "0001", "makerFilterKeeps": false, "kept": false, "keptBy": "maker filter",
      "mayOpen": true, "openErrno": 0, "openProblem": null})"));
  EXPECT_EQ(list[3]["mayOpen"], false);
  EXPECT_EQ(list[3]["openErrno"], 13);
  EXPECT_EQ(list[3]["openProblem"].get<std::string>().rfind("permission denied: install", 0), 0u);
  EXPECT_EQ(list[0]["path"], "/dev/hidraw1");
  EXPECT_EQ(list[1]["path"], "/dev/hidraw2");
}

TEST(ListCommandTest, NoneListedIsExitStatusOne) {
  const std::string mouse =
      Profile("mouse-only.json",
              R"({"devices": [{"vendorId": "046D", "productId": "C52B", "usagePage": "0001"}]})");
  for (bool json : {false, true}) {
    std::vector<std::string> args = {"--list", "--simulate", mouse};
    if (json) args.push_back("--json");
    const CommandRun run = Command(args);
    EXPECT_EQ(run.status, EXIT_NO_KEY);
    EXPECT_EQ(run.out, json ? "[]\n" : "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_NE(run.err.find("uaccess"), std::string::npos);
  }
}

TEST(ListCommandTest, AllVendorsShowsAKeyOfAnotherMakerInTheReport) {
  const std::string other =
      Profile("other.json",
              R"({"devices": [{"vendorId": "1050", "productId": "0407", "product": "Other Maker",
                       "builtin": false, "cbor": {"04": "00A10181665532465F5632"}}]})");
  const CommandRun filtered = Command({"--report", "--simulate", other});
  EXPECT_EQ(filtered.status, EXIT_NO_KEY);
  EXPECT_EQ(filtered.out.find("Other Maker"), std::string::npos);

  const CommandRun everyMaker = Command({"--report", "--all-vendors", "--simulate", other});
  EXPECT_EQ(everyMaker.status, EXIT_KEY_SHOWN) << everyMaker.err;
  EXPECT_NE(everyMaker.out.find("  Device name           Other Maker\n"), std::string::npos);
  EXPECT_NE(everyMaker.out.find("versions: U2F_V2"), std::string::npos);
  // The applets of the vendor's own family answer nothing: their rows are absent.
  EXPECT_EQ(everyMaker.out.find("IDentify"), std::string::npos);
  // The option lasts for its command only.
  EXPECT_EQ(Command({"--report", "--simulate", other}).status, EXIT_NO_KEY);
}

TEST(ListCommandTest, NetworkAuthenticatorIsListedAlone) {
  // Nothing listens on port 1 of this host: the one entry says why it cannot
  // be opened.
  const CommandRun run = Command({"--list", "--device", "tcp:127.0.0.1:1,vid=1050,pid=0407"});
  EXPECT_EQ(run.status, EXIT_KEY_SHOWN);
  EXPECT_EQ(run.out,
            "tcp:127.0.0.1:1  1050:0407  \"tcp:127.0.0.1:1\"  release 0000  usage page F1D0  "
            "usage 0001  named by --device  may open: no, connection refused\n");
}

TEST(ListCommandTest, OptionsGoTogetherOrSaySo) {
  const struct {
    std::vector<std::string> args;
    bool good;
  } cases[] = {
      {{"--list"}, true},
      {{"--list", "--json", "--all-vendors", "--device", "/dev/hidraw3"}, true},
      {{"--all-vendors"}, true},
      {{"--json"}, false},
      {{"--list", "--report"}, false},
      {{"--list", "--mds-update"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCommandLine(c.args).error.empty(), c.good) << c.args.back();
  }
  const std::string usage = UsageText();
  for (const char* option : {"--list", "--all-vendors"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
