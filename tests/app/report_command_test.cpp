// The headless report, end to end against the simulated key.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/report_command.h"
#include "app/report_format.h"
#include "transport/key_device.h"

namespace {

struct ReportRun {
  int status;
  std::string out;
  std::string err;
};

ReportRun Report(std::vector<std::string> args, bool switchOn = false,
                 const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const CommandLine line = ParseCommandLine(args);
  EXPECT_TRUE(line.error.empty()) << line.error;
  const int status = RunReportCommand(line, switchOn, in, out, err);
  return {status, out.str(), err.str()};
}

std::string ProfileFile(const std::string& name, const std::string& json) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << json;
  return path;
}

TEST(ReportCommandTest, JsonHoldsEveryPageInOrderWithEveryCell) {
  const ReportRun run = Report({"--report", "--json", "--simulate"});
  ASSERT_EQ(run.status, EXIT_KEY_SHOWN) << run.err;
  EXPECT_TRUE(run.err.empty());
  const nlohmann::json document = nlohmann::json::parse(run.out);
  const auto& pages = document["pages"];
  ASSERT_EQ(pages.size(), 7u);
  EXPECT_EQ(pages[0]["caption"], "Hardware info");
  EXPECT_EQ(pages[1]["caption"], "FIDO2 Certification");
  EXPECT_EQ(pages[2]["caption"], "U2F Certification");
  EXPECT_EQ(pages[3]["caption"], "Details");
  EXPECT_EQ(pages[3]["columns"], nlohmann::json({"Item", "Value"}));
  EXPECT_EQ(pages[3]["rows"][0], nlohmann::json({"CTAPHID protocol", "2"}));
  EXPECT_EQ(pages[4]["caption"], "Passkeys");
  EXPECT_EQ(
      pages[4]["rows"],
      nlohmann::json::array({{"Tips", "Double click to read the passkeys with the key's PIN."}}));
  EXPECT_EQ(pages[5]["caption"], "Metadata");
  EXPECT_EQ(pages.back()["caption"], "Policy");
  EXPECT_EQ(pages[0]["columns"], nlohmann::json({"Item", "Value"}));
  EXPECT_EQ(pages[0]["rows"][0], nlohmann::json({"Device name", "Simulated Key"}));
  // The separator row's value was never set: "".
  EXPECT_EQ(pages[0]["rows"][6], nlohmann::json({"    ", ""}));
  EXPECT_EQ(pages[2]["rows"][1], nlohmann::json({" ", " "}));
}

TEST(ReportCommandTest, SecurityKeyInfoPageBySwitchOrOption) {
  for (bool switchOn : {false, true}) {
    std::vector<std::string> args = {"--report", "--json", "--simulate"};
    if (!switchOn) args.push_back("--security-key-info");
    const ReportRun run = Report(args, switchOn);
    const nlohmann::json document = nlohmann::json::parse(run.out);
    ASSERT_EQ(document["pages"].size(), 8u);
    EXPECT_EQ(document["pages"][4]["caption"], "Details");
    const auto& page = document["pages"][3];
    EXPECT_EQ(page["caption"], "Security Key info");
    EXPECT_EQ(page["columns"].size(), 5u);
    EXPECT_EQ(page["rows"][0][0], "81");
    EXPECT_EQ(page["rows"][0][3], "Product name");
  }
}

TEST(ReportCommandTest, TextFormAlignsColumns) {
  const ReportRun run = Report({"--report", "--simulate"});
  ASSERT_EQ(run.status, EXIT_KEY_SHOWN);
  EXPECT_EQ(run.out.rfind("Hardware info\n", 0), 0u);
  EXPECT_NE(run.out.find("\n  Device name                 Simulated Key\n"), std::string::npos);
  EXPECT_NE(run.out.find("\nU2F Certification\n  Item  Value\n  Tips  Double click"),
            std::string::npos);
}

TEST(ReportCommandTest, NoKeySaysSoOnOneLine) {
  const std::string profile = ProfileFile(
      "mouse.json",
      R"({"devices": [{"vendorId": "046D", "productId": "C52B", "usagePage": "0001"}]})");
  const ReportRun run = Report({"--report", "--simulate", profile});
  EXPECT_EQ(run.status, EXIT_NO_KEY);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_NE(run.err.find("No FIDO security key found"), std::string::npos);
  EXPECT_NE(run.err.find("uaccess"), std::string::npos);
}

TEST(ReportCommandTest, NodeThatCannotBeOpenedIsNamed) {
  const std::string profile =
      ProfileFile("locked.json", R"({"devices": [{"path": "/dev/hidraw7", "openError": 13}]})");
  const ReportRun run = Report({"--report", "--simulate", profile});
  EXPECT_EQ(run.status, EXIT_NO_KEY);
  EXPECT_NE(run.err.find("/dev/hidraw7"), std::string::npos) << run.err;
}

TEST(ReportCommandTest, KeyThatDoesNotAnswerIsExitStatusThree) {
  const std::string profile =
      ProfileFile("silent.json", R"({"devices": [{"misbehave": {"silent": true}}]})");
  const ReportRun run = Report({"--report", "--simulate", profile, "--fetch", "fido2"});
  EXPECT_EQ(run.status, EXIT_KEY_DID_NOT_ANSWER);
  EXPECT_EQ(run.err, "quillmark: The key did not answer. Unplug it and plug it in again.\n");
  // The rows it has are shown; no fetch was tried.
  EXPECT_NE(run.out.find("Simulated Key"), std::string::npos);
  EXPECT_EQ(run.out.find("authenticatorGetInfo"), std::string::npos);
}

TEST(ReportCommandTest, BadProfileIsABadArgument) {
  const std::string profile = ProfileFile("bad.json", "{ not json");
  const ReportRun run = Report({"--report", "--simulate", profile});
  EXPECT_EQ(run.status, EXIT_BAD_ARGUMENTS);
  EXPECT_FALSE(run.err.empty());
}

TEST(ReportFormatTest, UnsetCellsAreEmptyAndBytesStayValid) {
  QuillmarkModel model;
  model.infoList.AppendRow("caption");
  model.infoList.AppendRow("raw", std::string("a\xFF", 2));
  const std::string json = FormatReportJson(ReportPages(model, false));
  const nlohmann::json document = nlohmann::json::parse(json);
  EXPECT_EQ(document["pages"][0]["rows"][0], nlohmann::json({"caption", ""}));
  EXPECT_EQ(document["pages"][0]["rows"][1][1], "a\xEF\xBF\xBD");
}

}  // namespace
