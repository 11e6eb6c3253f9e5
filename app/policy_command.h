// The policy options of the headless program: the policy read before any key
// is asked anything, the check after the report's refresh, and the summary of
// an inventory.
#pragma once

#include <iosfwd>

#include "app/command_line.h"
#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"
#include "metadata/utc_date.h"
#include "policy/policy_file.h"

// Reads --policy; false after saying why on `err` (the place as a JSON pointer).
bool ReadLinePolicy(const CommandLine& line, Policy& policy, std::ostream& err);

// After the report's refresh: the check with what it needs, the "Policy" and
// "Metadata" pages, and the inventory line. Answers EXIT_KEY_SHOWN on PASS,
// EXIT_POLICY_FAILED on FAIL or UNKNOWN, EXIT_INVENTORY_FAILED when the line
// could not be appended (said on `err`).
int CheckReportedKey(const CommandLine& line, const Policy& policy, QuillmarkModel& model,
                     const WallClock& clock, UserPrompt& prompt, std::ostream& err);

// --inventory FILE --summary.
int RunInventorySummaryCommand(const CommandLine& line, std::ostream& out, std::ostream& err);
