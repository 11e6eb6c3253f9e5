// `quillmark --list` and `--all-vendors`, end to end against simulated keys.
#include <gtest/gtest.h>

#include <cstdlib>
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

// Twins, a key of another maker (a quote and a line break in its product
// string), a node that cannot be opened, a mouse, and an overlong name.
const char kDrawer[] = R"({"devices": [
  {"path": "/dev/hidraw1", "product": "Twin"}, {"path": "/dev/hidraw2", "product": "Twin"},
  {"path": "/dev/hidraw3", "vendorId": "1050", "productId": "0407",
   "product": "Other \"Maker\"\n", "builtin": false, "cbor": {"04": "00A10181665532465F5632"}},
  {"path": "/dev/hidraw4", "openError": 13},
  {"path": "/dev/hidraw5", "vendorId": "046D", "productId": "C52B", "usagePage": "0001"},
  {"path": "/dev/hidraw6", "product": "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}
]})";

TEST(ListCommandTest, EveryFidoInterfaceWithFilterAndAccess) {
  const std::string drawer = Profile("drawer.json", kDrawer);
  const CommandRun text = Command({"--list", "--simulate", drawer});
  EXPECT_EQ(text.status, EXIT_KEY_SHOWN);
  EXPECT_EQ(text.err, "");
  const std::string tail = "  release 0100  usage page F1D0  usage 0001  maker filter: ";
  EXPECT_EQ(text.out,
            "/dev/hidraw1  096E:0858  \"Twin\"" + tail + "keeps  may open: yes\n" +
                "/dev/hidraw2  096E:0858  \"Twin\"" + tail + "keeps  may open: yes\n" +
                "/dev/hidraw3  1050:0407  \"Other \\\"Maker\\\"\\x0A\"" + tail +
                "drops  may open: yes\n" + "/dev/hidraw4  096E:0858  \"Simulated Key\"" + tail +
                "keeps  may open: no, permission denied: install a udev rule that tags FIDO "
                "hidraw nodes with TAG+=\"uaccess\" (see \"Access to keys\" in the README), "
                "then plug the key in again\n" +
                "/dev/hidraw6  096E:0858  \"" + std::string(63, 'x') + "\"" + tail +
                "keeps  may open: yes\n");

  const nlohmann::json json =
      nlohmann::json::parse(Command({"--list", "--json", "--simulate", drawer}).out);
  ASSERT_EQ(json.size(), 5u);
  EXPECT_EQ(json[2], nlohmann::json::parse(R"({
      "path": "/dev/hidraw3", "vendorId": "1050", "productId": "0407",
      "product": "Other \"Maker\"\n", "release": "0100", "usagePage": "F1D0",
      "usage": "0001", "makerFilterKeeps": false, "kept": false, "keptBy": "maker filter",
      "mayOpen": true, "openErrno": 0, "openProblem": null})"));
  EXPECT_EQ(json[3]["mayOpen"], false);
  EXPECT_EQ(json[3]["openErrno"], 13);
  EXPECT_EQ(json[3]["openProblem"].get<std::string>().rfind("permission denied: install", 0), 0u);

  const CommandRun everyMaker = Command({"--list", "--all-vendors", "--simulate", drawer});
  EXPECT_EQ(everyMaker.out.find("maker filter: drops"), std::string::npos);
  EXPECT_NE(everyMaker.out.find("0407  \"Other"), std::string::npos);
}

TEST(ListCommandTest, ANamedPathThatIsNoFidoInterface) {
  const std::string drawer = Profile("drawer.json", kDrawer);
  const struct {
    const char* path;
    int status;
    std::string err;
  } cases[] = {
      {"/dev/hidraw1", EXIT_KEY_SHOWN, ""},
      {"/dev/hidraw5", EXIT_NO_KEY,
       "quillmark: the HID interface /dev/hidraw5 is no FIDO interface (usage page 0001)\n"},
      {"/dev/hidraw9", EXIT_NO_KEY, "quillmark: no HID interface is at /dev/hidraw9\n"},
  };
  for (const auto& c : cases) {
    const CommandRun run = Command({"--list", "--simulate", drawer, "--device", c.path});
    EXPECT_EQ(run.status, c.status) << c.path;
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(ListCommandTest, NoneListedIsExitStatusOne) {
  const std::string mouse =
      Profile("mouse.json",
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
  // Nothing listens on port 1 here: the network authenticator alone, and why
  // it cannot be opened.
  EXPECT_EQ(Command({"--list", "--device", "tcp:127.0.0.1:1,vid=1050,pid=0407"}).out,
            "tcp:127.0.0.1:1  1050:0407  \"tcp:127.0.0.1:1\"  release 0000  usage page F1D0  "
            "usage 0001  named by --device  may open: no, connection refused\n");
}

TEST(ListCommandTest, AllVendorsShowsAKeyOfAnotherMakerInTheReport) {
  const std::string other = Profile("other.json", R"({"devices": [{
      "vendorId": "1050", "productId": "0407", "product": "Other Maker",
      "builtin": false, "cbor": {"04": "00A10181665532465F5632"}}]})");
  const CommandRun everyMaker = Command({"--report", "--all-vendors", "--simulate", other});
  EXPECT_EQ(everyMaker.status, EXIT_KEY_SHOWN) << everyMaker.err;
  EXPECT_NE(everyMaker.out.find("  Device name           Other Maker\n"), std::string::npos);
  EXPECT_NE(everyMaker.out.find("versions: U2F_V2"), std::string::npos);
  // What only the family answers is absent.
  EXPECT_EQ(everyMaker.out.find("IDentify"), std::string::npos);
  // Without the option (it lasts for its command only), the key is not shown.
  const CommandRun filtered = Command({"--report", "--simulate", other});
  EXPECT_EQ(filtered.status, EXIT_NO_KEY);
  EXPECT_EQ(filtered.out.find("Other Maker"), std::string::npos);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--json"}, {"--list", "--report"}, {"--list", "--mds-update"}}) {
    EXPECT_FALSE(ParseCommandLine(bad).error.empty()) << bad.back();
  }
}

}  // namespace

// Without the smart-card service the list of HID keys goes on, and says so
// once. The client library is pointed at a socket nobody listens on, so a
// pcscd running on this machine is never asked.
TEST(ListCommandTest, NoCardServiceIsSaidOnceAndTheUsbListGoesOn) {
  const std::string socket = ::testing::TempDir() + "no-pcscd-here/pcscd.comm";
  ASSERT_EQ(::setenv("PCSCLITE_CSOCK_NAME", socket.c_str(), 1), 0);
  const CommandRun run = Command({"--list"});
  const std::string line = "pcsc: the pcscd service is not running\n";
  const size_t first = run.err.find(line);
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(line, first + 1), std::string::npos) << run.err;
  EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
}
