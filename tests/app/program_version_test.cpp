#include <gtest/gtest.h>

#include <regex>

#include "app/about_dlg.h"
#include "app/command_line.h"
#include "app/version_text.h"

namespace {

TEST(ProgramVersionTest, VersionOptionIsParsedAndListed) {
  struct Case {
    std::vector<std::string> args;
    bool version;
  };
  const Case cases[] = {
      {{"--version"}, true},
      {{"--report", "--version"}, true},
      {{"--simulate", "--version"}, true},
      {{"--report"}, false},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_TRUE(line.error.empty()) << c.args.back() << ": " << line.error;
    EXPECT_EQ(line.version, c.version) << c.args.back();
  }
  EXPECT_FALSE(ParseCommandLine({"-version"}).error.empty());
  EXPECT_FALSE(ParseCommandLine({"--version=1"}).error.empty());
  EXPECT_NE(UsageText().find("--version"), std::string::npos);
}

// --version prints the whole number; the about box shows its first two parts.
TEST(ProgramVersionTest, VersionTextAndAboutBoxShowTheSameVersion) {
  std::smatch match;
  const std::string text = VersionText();
  ASSERT_TRUE(std::regex_match(text, match, std::regex("quillmark ((\\d+\\.\\d+)\\.\\d+)\n")))
      << text;
  EXPECT_EQ(std::string(ABOUT_TEXT), "Quillmark, Version " + match[2].str());
}

}  // namespace
