#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include "policy/inventory.h"

namespace {

std::string TempPath(const char* name) {
  return ::testing::TempDir() + "/" + name + std::to_string(getpid());
}

PolicyResult Result(bool passed) {
  PolicyResult result;
  result.rules.push_back({PolicyRule::kVerdict, passed ? RuleOutcome::kPass : RuleOutcome::kFail,
                          passed ? "" : "not genuine: forged"});
  result.passed = passed;
  return result;
}

TEST(Inventory, TwoWritersAtOnceLoseNoLineAndCutNone) {
  const std::string path = TempPath("inventory");
  std::remove(path.c_str());
  constexpr int kLines = 200;
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = fork();
    ASSERT_GE(children[writer], 0);
    if (children[writer] == 0) {
      InventoryDevice device{"/dev/hidraw" + std::to_string(writer), 0x1050, 0x0407, "Key"};
      PolicyFacts facts;
      // Long enough that a torn write would show.
      facts.attestationLeafSha256 = std::string(64, static_cast<char>('a' + writer));
      for (int i = 0; i < kLines; ++i) {
        facts.firmware = i;
        const std::string line = InventoryLine(device, facts, Result(i % 2 == 0), 0, "station");
        if (!AppendInventoryLine(path, line).empty()) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::ifstream in(path);
  std::set<std::string> seen;
  std::string text;
  while (std::getline(in, text)) {
    const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(line.is_object()) << text;
    seen.insert(line["devicePath"].get<std::string>() + "#" +
                std::to_string(line["firmwareVersion"].get<int>()));
  }
  EXPECT_EQ(seen.size(), 2u * kLines);

  InventorySummary summary;
  std::string error;
  ASSERT_TRUE(SummarizeInventoryFile(path, summary, error)) << error;
  EXPECT_EQ(summary.checks, 2u * kLines);
  EXPECT_EQ(summary.passed, static_cast<size_t>(kLines));
  std::remove(path.c_str());
}

TEST(Inventory, LineHoldsTheCheck) {
  InventoryDevice device{"/dev/hidraw3", 0x1050, 0x0407, "Key\xff"};
  PolicyFacts facts;
  facts.aaguid = "cb69481e8ff7403993ec0a2729a154a8";
  facts.firmware = 328199;
  facts.blobNumber = 121;
  const std::string text = InventoryLine(device, facts, Result(false), 1733097600, "host1");
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  const nlohmann::json line = nlohmann::json::parse(text);
  EXPECT_EQ(line["time"], "2024-12-02T00:00:00Z");
  EXPECT_EQ(line["vendorId"], "1050");
  EXPECT_EQ(line["product"], "Key\xef\xbf\xbd");
  EXPECT_EQ(line["aaguid"], "cb69481e-8ff7-4039-93ec-0a2729a154a8");
  EXPECT_TRUE(line["attestationLeafSha256"].is_null());
  EXPECT_EQ(line["metadataBlobNumber"], 121);
  EXPECT_EQ(line["rules"]["verdict"], "FAIL: not genuine: forged");
  EXPECT_EQ(line["result"], "FAIL");
  EXPECT_NE(AppendInventoryLine("/nonexistent/dir/inventory", text), "");
}

TEST(Inventory, SummaryCountsPerModelAndNamesTheFailedAndTheUnreadable) {
  const std::string file =
      R"({"aaguid":"a","product":"One","result":"PASS","attestationLeafSha256":"same"})"
      "\n"
      R"({"aaguid":"a","product":"One","result":"PASS","attestationLeafSha256":"same"})"
      "\n"
      "{\"aaguid\":\"b\",\"devicePath\":\"/dev/hidraw1\",\"result\":\"FAIL\",\"rules\":"
      "{\"pin\":\"PASS\",\"models\":\"FAIL: AAGUID b is not\\u001b allowed\"}}\n"
      "{half a line\n"
      "\n"
      "[1]\n";
  const InventorySummary summary =
      SummarizeInventory(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  EXPECT_EQ(summary.checks, 3u);
  EXPECT_EQ(summary.passed, 2u);
  EXPECT_EQ(summary.failed, 1u);
  EXPECT_EQ(summary.unreadable, 2u);
  EXPECT_EQ(summary.text,
            "3 checked, 2 passed, 1 failed\n"
            "By model:\n"
            "  a (One): 2 passed, 0 failed\n"
            "  b: 0 passed, 1 failed\n"
            "Failed:\n"
            "  line 3, /dev/hidraw1, b: models: FAIL: AAGUID b is not? allowed\n"
            "2 unreadable lines: 4, 6\n");
}

}  // namespace
