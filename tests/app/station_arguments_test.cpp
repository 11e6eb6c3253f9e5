#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

TEST(StationArgumentsTest, WhichOptionsGoTogether) {
  const struct {
    std::vector<std::string> args;
    bool good;
  } cases[] = {
      {{"--report", "--policy", "p.json"}, true},
      {{"--report", "--policy", "p.json", "--inventory", "k.jsonl", "--pin-stdin"}, true},
      {{"--watch", "--policy", "p.json", "--inventory", "k.jsonl", "--simulate"}, true},
      {{"--inventory", "k.jsonl", "--summary"}, true},
      {{"--policy", "p.json"}, false},
      {{"--policy"}, false},
      {{"--watch"}, false},
      {{"--watch", "--policy", "p.json", "--report"}, false},
      {{"--watch", "--policy", "p.json", "--device", "/dev/hidraw0"}, false},
      {{"--report", "--policy", "p.json", "--fetch", "u2f"}, false},
      {{"--report", "--inventory", "k.jsonl"}, false},
      {{"--summary"}, false},
      {{"--inventory", "k.jsonl", "--summary", "--report"}, false},
      {{"--report", "--pin-stdin"}, false},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.error.empty(), c.good)
        << c.args.front() << " ... " << c.args.back() << ": " << line.error;
  }
}

}  // namespace
