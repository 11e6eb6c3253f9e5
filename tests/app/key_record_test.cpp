// --record: a record of the shown key replays to the report the key gave,
// also for keys that misbehave; and a record is written whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/record_file.h"
#include "app/report_command.h"
#include "tests/source_dir.h"

namespace {

struct ReportRun {
  int status;
  std::string out;
  std::string err;
};

// 2026-12-09 08:40 UTC.
const FixedWallClock kClock(1796805600);

ReportRun Report(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  const CommandLine line = ParseCommandLine(args);
  EXPECT_TRUE(line.error.empty()) << line.error;
  const int status = RunReportCommand(line, false, in, out, err, &kClock);
  return {status, out.str(), err.str()};
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class KeyRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ::testing::TempDir() + "key_record_" + std::to_string(::getpid());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  std::string Profile(const std::string& name, const std::string& json) const {
    const std::string path = Path(name);
    std::ofstream(path) << json;
    return path;
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string folder_;
};

std::string Misbehaving(const std::string& misbehave) {
  return R"({"devices": [{"misbehave": )" + misbehave + "}]}";
}

TEST_F(KeyRecordTest, RecordReplaysToTheSameReport) {
  struct Case {
    const char* name;
    std::string profile;  // a file in simkey/profiles, JSON, or empty for the built-in key
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"built-in key", "", {}},
      {"built-in key, hardware record page", "", {"--security-key-info"}},
      {"text form", "", {"--security-key-info"}},
      {"key with a PIN", "pin-and-pieces.json", {}},
      {"answers every SELECT", "select-answers-u2f.json", {}},
      {"newer GetInfo members", "newer-members.json", {}},
      {"no applets", "no-applets.json", {"--security-key-info"}},
      {"silent after INIT", Misbehaving(R"({"silent": true})"), {}},
      {"silent INIT", Misbehaving(R"({"silentInit": true})"), {}},
      {"replies cut off", Misbehaving(R"({"truncatedReply": true})"), {}},
      {"CTAPHID errors", Misbehaving(R"({"ctaphidError": "06"})"), {}},
      {"bad sequence", Misbehaving(R"({"badSequence": true})"), {"--security-key-info"}},
      {"empty packets first", Misbehaving(R"({"zeroLengthReports": 2})"), {}},
      {"other channels first", Misbehaving(R"({"foreignReportsFirst": 3})"), {}},
      {"oversized replies", Misbehaving(R"({"oversizeReply": 5000})"), {}},
      {"wrong nonce first", Misbehaving(R"({"initWrongNonceFirst": true})"), {}},
      {"replies elsewhere", Misbehaving(R"({"otherChannelReply": true})"), {}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> base = {"--report", "--simulate"};
    if (c.profile.rfind("{", 0) == 0) {
      base.push_back(Profile("profile" + std::to_string(index) + ".json", c.profile));
    } else if (!c.profile.empty()) {
      base.push_back(SourceDir() + "/simkey/profiles/" + c.profile);
    }
    if (std::string(c.name) != "text form") base.push_back("--json");
    base.insert(base.end(), c.options.begin(), c.options.end());
    const std::string record = Path("record" + std::to_string(index++) + ".json");

    std::vector<std::string> recording = base;
    recording.insert(recording.end(), {"--record", record});
    const ReportRun original = Report(recording);
    ASSERT_TRUE(std::filesystem::exists(record)) << original.err;

    std::vector<std::string> replaying = {"--report", "--simulate", record};
    replaying.insert(replaying.end(), base.begin() + 2 + (c.profile.empty() ? 0 : 1), base.end());
    const ReportRun replay = Report(replaying);
    EXPECT_EQ(replay.out, original.out);
    EXPECT_EQ(replay.err, original.err);
    EXPECT_EQ(replay.status, original.status);
  }
}

TEST_F(KeyRecordTest, RecordSaysWhatItIsAndHoldsNoSecret) {
  const std::string record = Path("pin.json");
  const ReportRun run =
      Report({"--report", "--simulate", SourceDir() + "/simkey/profiles/pin-and-pieces.json",
              "--record", record});
  ASSERT_EQ(run.status, EXIT_KEY_SHOWN) << run.err;
  const std::string text = Slurp(record);
  const nlohmann::json profile = nlohmann::json::parse(text);
  const std::string comment = profile["comment"];
  EXPECT_NE(comment.find("quillmark 1."), std::string::npos) << comment;
  EXPECT_NE(comment.find("2026-12-09 08:40 UTC"), std::string::npos) << comment;
  ASSERT_EQ(profile["devices"].size(), 1u);
  const nlohmann::json& device = profile["devices"][0];
  EXPECT_EQ(device["builtin"], false);
  EXPECT_EQ(device["vendorId"], "096E");
  EXPECT_FALSE(device.contains("pin"));
  // The 13 applet questions and the hardware record's, GetInfo and the two
  // retries questions; the applet version question answers in turn.
  EXPECT_GE(device["apdu"].size(), 9u);
  EXPECT_TRUE(device["apdu"]["80E2800005DFFF02800100"].is_array());
  EXPECT_TRUE(device["cbor"].contains("04"));
  EXPECT_EQ(text.find("123456"), std::string::npos);  // the profile's PIN
}

TEST_F(KeyRecordTest, KeyOfAnotherMakerReplaysAsItself) {
  const std::string profile =
      Profile("other.json", R"({"devices": [{"vendorId": "1050", "productId": "0407"}]})");
  const std::string record = Path("other-record.json");
  const ReportRun original =
      Report({"--report", "--json", "--simulate", profile, "--all-vendors", "--record", record});
  ASSERT_EQ(original.status, EXIT_KEY_SHOWN) << original.err;
  // No --all-vendors: the record names its key.
  const ReportRun replay = Report({"--report", "--json", "--simulate", record});
  EXPECT_EQ(replay.status, EXIT_KEY_SHOWN) << replay.err;
  EXPECT_EQ(replay.out, original.out);
}

TEST_F(KeyRecordTest, FetchIsNotRecorded) {
  const std::string record = Path("fetch.json");
  const ReportRun run = Report({"--report", "--simulate", "--fetch", "fido2", "--record", record});
  ASSERT_EQ(run.status, EXIT_KEY_SHOWN) << run.err;
  const nlohmann::json device = nlohmann::json::parse(Slurp(record))["devices"][0];
  for (const auto& [request, answer] : device["cbor"].items()) {
    EXPECT_NE(request.substr(0, 2), "01") << "makeCredential recorded";
  }
}

TEST_F(KeyRecordTest, RecordThatCannotBeWrittenLeavesNothing) {
  const std::string existing = Profile("existing.json", "old");
  std::filesystem::create_directories(Path("folder"));
  std::filesystem::create_directories(Path("locked"));
  std::filesystem::permissions(
      Path("locked"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool root = ::geteuid() == 0;  // root writes into any folder
  struct Case {
    std::string path;
    std::string says;
  };
  std::vector<Case> cases = {
      {existing, "the file exists (add --force to replace it)"},
      {Path("folder"), "it is a folder"},
      {Path("missing/record.json"), "the folder " + Path("missing") + " does not exist"},
  };
  if (!root) cases.push_back({Path("locked/record.json"), "Permission denied"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const ReportRun run = Report({"--report", "--simulate", "--record", c.path});
    EXPECT_EQ(run.status, EXIT_RECORD_NOT_WRITTEN);
    EXPECT_EQ(run.err, "quillmark: cannot write " + c.path + ": " + c.says + "\n") << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_EQ(Slurp(existing), "old");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"existing.json", "folder", "locked"}));

  // The replaced record keeps the private mode the user gave it.
  std::filesystem::permissions(
      existing, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const ReportRun forced = Report({"--report", "--simulate", "--record", existing, "--force"});
  EXPECT_EQ(forced.status, EXIT_KEY_SHOWN) << forced.err;
  EXPECT_EQ(Slurp(existing).rfind("{", 0), 0u);
  struct stat facts;
  ASSERT_EQ(::stat(existing.c_str(), &facts), 0);
  EXPECT_EQ(facts.st_mode & 07777, 0600u);
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"existing.json", "folder", "locked"}));
}

TEST_F(KeyRecordTest, NoKeyNoRecord) {
  const std::string record = Path("none.json");
  const ReportRun run = Report(
      {"--report", "--simulate", SourceDir() + "/simkey/profiles/no-key.json", "--record", record});
  EXPECT_EQ(run.status, EXIT_NO_KEY);
  EXPECT_FALSE(std::filesystem::exists(record));
}

TEST(WriteFileAtomicallyTest, ReplacesOnlyWhenAskedAndKeepsTheUmask) {
  const std::string path = ::testing::TempDir() + "atomic_" + std::to_string(::getpid());
  std::filesystem::remove(path);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "one", false, &error)) << error;
  EXPECT_FALSE(WriteFileAtomically(path, "two", false, &error));
  EXPECT_EQ(Slurp(path), "one");
  ASSERT_TRUE(WriteFileAtomically(path, "three", true, &error)) << error;
  EXPECT_EQ(Slurp(path), "three");
  struct stat facts;
  ASSERT_EQ(::stat(path.c_str(), &facts), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(facts.st_mode & 0777, 0666 & ~mask);
  std::filesystem::remove(path);
}

}  // namespace
