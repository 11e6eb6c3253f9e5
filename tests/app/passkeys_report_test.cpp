// --passkeys: the "Passkeys" page read after the refresh, with the PIN from
// standard input or the terminal, end to end against the simulated key.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/report_command.h"
#include "keyinfo/passkeys_page.h"
#include "simkey/sim_profile_writer.h"

namespace {

using nlohmann::json;

const FixedWallClock kClock(1796805600);

struct ReportRun {
  int status = 0;
  json pages = json::object();  // caption -> rows
  std::string err;
};

std::string KeyProfile(uint32_t goneAfterReports = 0) {
  SimDeviceConfig config;
  config.pin = "2468";
  config.misbehave.goneAfterReports = goneAfterReports;
  SimStoredCredential credential;
  credential.rpId = "example.com";
  credential.userId = {0x0A, 0x0B};
  credential.userName = "alice";
  config.credentials.push_back(credential);
  const std::string path =
      ::testing::TempDir() + std::to_string(::getpid()) + "-" + "passkeys-key.json";
  std::ofstream(path) << SimProfileJson({config}, "");
  return path;
}

bool TerminalGivesPin(std::string* pin) {
  *pin = "2468";
  return true;
}

ReportRun Report(std::vector<std::string> args, const std::string& input,
                 TerminalPinReader terminal = nullptr) {
  args.insert(args.begin(), {"--report", "--json"});
  const CommandLine line = ParseCommandLine(args);
  EXPECT_TRUE(line.error.empty()) << line.error;
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunReportCommand(line, false, in, out, err, &kClock, terminal);
  ReportRun run;
  run.status = status;
  run.err = err.str();
  if (out.str().empty()) {
    ADD_FAILURE() << run.err;
    return run;
  }
  const json document = json::parse(out.str());
  for (const json& page : document["pages"]) {
    run.pages[page["caption"].get<std::string>()] = page["rows"];
  }
  return run;
}

TEST(PasskeysReportTest, ReadOnlyWhenAskedWithThePinGiven) {
  const std::string key = KeyProfile();
  const json tips = json::array({{"Tips", PASSKEYS_TIPS_TEXT}});
  const json read = {"Discoverable credentials", "1 stored, 24 more fit"};
  const std::string noPin =
      "error: the key has a PIN; give it on standard input with --pin-stdin\n";
  const struct {
    std::vector<std::string> args;
    std::string input;
    TerminalPinReader terminal;
    json firstRow;  // null: the Tips row alone
    std::string err;
  } cases[] = {
      {{}, "2468\n", TerminalGivesPin, nullptr, ""},
      {{"--passkeys", "--pin-stdin"}, "2468\n", nullptr, read, ""},
      {{"--passkeys"}, "", TerminalGivesPin, read, ""},
      {{"--passkeys"}, "2468\n", nullptr, nullptr, noPin},
      {{"--passkeys", "--pin-stdin"}, "", nullptr, nullptr, "warning: PIN cannot be empty!\n"},
      // One line serves the fetch and the passkeys.
      {{"--fetch", "fido2", "--passkeys", "--pin-stdin"}, "2468\n", nullptr, read, ""},
      // A refused PIN is not tried again: the next line is.
      {{"--fetch", "fido2", "--passkeys", "--pin-stdin"}, "1111\n2468\n", nullptr, read, "error: "},
      {{"--passkeys", "--pin-stdin"}, "1111\n", nullptr, {"Passkeys", ""}, "error: "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--simulate", key});
    SCOPED_TRACE(::testing::PrintToString(args) + " " + c.input);
    const ReportRun run = Report(args, c.input, c.terminal);
    EXPECT_EQ(run.status, EXIT_KEY_SHOWN);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << run.err;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "");
    }
    const json& rows = run.pages[PASSKEYS_PAGE_CAPTION];
    if (c.firstRow.is_null()) {
      EXPECT_EQ(rows, tips);
    } else if (c.firstRow[0] == "Passkeys") {
      // The wrong PIN's sentence, with the retries left, and Tips to retry.
      EXPECT_EQ(rows[0][0], "Passkeys");
      EXPECT_NE(rows[0][1].get<std::string>().find("7 retries left."), std::string::npos);
      EXPECT_EQ(rows.back(), tips[0]);
    } else {
      EXPECT_EQ(rows[0], c.firstRow);
      EXPECT_NE(std::find(rows.begin(), rows.end(), json({"User id", "0a0b"})), rows.end());
    }
    if (c.args.size() > 1 && c.args[0] == "--fetch") {
      const json verified = {"Verify Result", "YES"};
      const json& fido2 = run.pages["FIDO2 Certification"];
      EXPECT_EQ(std::find(fido2.begin(), fido2.end(), verified) != fido2.end(),
                c.input == "2468\n");
    }
  }
}

// Wherever the key stops answering, the run ends as a lost key does: never a
// reading shown whole.
TEST(PasskeysReportTest, KeyThatStopsInTheReadingIsALostKey) {
  int stoppedInTheReading = 0;
  for (uint32_t reports = 1; reports < 400; ++reports) {
    const ReportRun run =
        Report({"--passkeys", "--pin-stdin", "--simulate", KeyProfile(reports)}, "2468\n");
    if (run.status == EXIT_KEY_SHOWN) break;
    ASSERT_EQ(run.status, EXIT_KEY_DID_NOT_ANSWER) << reports;
    const json& rows = run.pages[PASSKEYS_PAGE_CAPTION];
    if (rows.size() > 1) {
      EXPECT_EQ(rows[0], json({"Passkeys", "The key was removed or stopped answering."}));
      ++stoppedInTheReading;
    }
  }
  EXPECT_GT(stoppedInTheReading, 5);
}

TEST(PasskeysReportTest, RecordHoldsTheRefreshAlone) {
  const std::string key = KeyProfile();
  std::string records[2];
  for (int withPasskeys = 0; withPasskeys < 2; ++withPasskeys) {
    const std::string path = ::testing::TempDir() + std::to_string(::getpid()) + "-" +
                             "passkeys-record" + std::to_string(withPasskeys);
    std::filesystem::remove(path);
    std::vector<std::string> args = {"--simulate", key, "--record", path};
    if (withPasskeys) args.insert(args.end(), {"--passkeys", "--pin-stdin"});
    ASSERT_EQ(Report(args, "2468\n").status, EXIT_KEY_SHOWN);
    std::ifstream file(path);
    records[withPasskeys].assign(std::istreambuf_iterator<char>(file), {});
  }
  EXPECT_EQ(records[1], records[0]);
  const json record = json::parse(records[1]);
  for (const auto& [request, answer] : record["devices"][0]["cbor"].items()) {
    for (const char* command : {"0a", "41", "09", "40", "0c"}) {
      std::string head = request.substr(0, 2);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_NE(head, command) << request;
    }
  }
}

TEST(PasskeysReportTest, CommandLineRules) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--passkeys"}, "--passkeys needs --report"},
      {{"--report", "--pin-stdin"}, "--pin-stdin needs --fetch, --passkeys or --policy"},
      {{"--report", "--passkeys", "--pin-stdin"}, ""},
      {{"--report", "--fetch", "u2f", "--pin-stdin"}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.args).error, c.error);
}

}  // namespace
