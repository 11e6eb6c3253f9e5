#include "app/policy_command.h"

#include <ostream>

#include "app/console_prompt.h"
#include "app/policy_run.h"
#include "app/report_metadata.h"
#include "policy/inventory.h"
#include "transport/key_device.h"

bool ReadLinePolicy(const CommandLine& line, Policy& policy, std::ostream& err) {
  const std::string problem = ReadPolicyFile(line.policy, policy);
  if (problem.empty()) return true;
  err << "quillmark: the policy " << line.policy << " cannot be used: " << problem << "\n";
  return false;
}

int CheckReportedKey(const CommandLine& line, const Policy& policy, QuillmarkModel& model,
                     const WallClock& clock, UserPrompt& prompt, std::ostream& err) {
  MdsBlob blob;
  LoadReportMetadata(line, clock, err, blob);
  const int64_t now = clock.NowUnixSeconds();
  const KeyCheck check =
      CheckRefreshedKey(model, policy, blob, now, prompt, KeyDevice::Instance().clock());
  if (!line.inventory.empty()) {
    if (const std::string problem = AppendKeyCheck(line.inventory, check, now); !problem.empty()) {
      err << "quillmark: " << problem << "\n";
      return EXIT_INVENTORY_FAILED;
    }
  }
  return check.result.passed ? EXIT_KEY_SHOWN : EXIT_POLICY_FAILED;
}

int RunInventorySummaryCommand(const CommandLine& line, std::ostream& out, std::ostream& err) {
  InventorySummary summary;
  std::string error;
  if (!SummarizeInventoryFile(line.inventory, summary, error)) {
    err << "quillmark: " << error << "\n";
    return EXIT_INVENTORY_FAILED;
  }
  out << summary.text;
  return 0;
}
