// The report file's name and form, and writing it whole or not at all.
#include "app/report_saver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(ReportSaverTest, NameAndFormFollowTheExtension) {
  struct Case {
    const char* chosen;
    const char* savedAs;
    ReportFileFormat format;
  };
  const Case cases[] = {
      {"/tmp/report", "/tmp/report.txt", ReportFileFormat::kText},
      {"/tmp/report.txt", "/tmp/report.txt", ReportFileFormat::kText},
      {"/tmp/report.json", "/tmp/report.json", ReportFileFormat::kJson},
      {"/tmp/Report.Json", "/tmp/Report.Json", ReportFileFormat::kJson},
      {"/tmp/report.json.txt", "/tmp/report.json.txt", ReportFileFormat::kText},
      {"/tmp/report.csv", "/tmp/report.csv", ReportFileFormat::kText},
      // A dot in a folder's name or a leading dot is no extension.
      {"/tmp/keys.d/report", "/tmp/keys.d/report.txt", ReportFileFormat::kText},
      {"/tmp/.json", "/tmp/.json.txt", ReportFileFormat::kText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    const std::string savedAs = WithReportExtension(c.chosen);
    EXPECT_EQ(savedAs, c.savedAs);
    EXPECT_EQ(ReportFormatForPath(savedAs), c.format);
  }
}

class WriteFileWholeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmark-save-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++count;
    return count;
  }
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::filesystem::path folder_;
};

TEST_F(WriteFileWholeTest, ReplacesTheOldContentsWhole) {
  const std::filesystem::path path = folder_ / "report.txt";
  std::ofstream(path) << "an old report that is longer than the new one\n";
  std::string error;
  ASSERT_TRUE(WriteFileWhole(path.string(), "new\n", &error)) << error;
  EXPECT_EQ(Read(path), "new\n");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(WriteFileWholeTest, FailureLeavesNothingNew) {
  const std::filesystem::path taken = folder_ / "report.txt";
  std::filesystem::create_directory(taken);
  std::string error;
  EXPECT_FALSE(WriteFileWhole(taken.string(), "report\n", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(taken));

  error.clear();
  EXPECT_FALSE(WriteFileWhole((folder_ / "missing" / "report.txt").string(), "report\n", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(EntryCount(), 1u);
}

}  // namespace
