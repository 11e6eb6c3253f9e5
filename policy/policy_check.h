// A key judged against a policy: each rule's result with its reason, the
// overall result, the "Policy" page, and what must be run before the check.
#pragma once

#include <string>
#include <vector>

#include "keyinfo/report_list.h"
#include "policy/policy_facts.h"
#include "policy/policy_file.h"

extern const char* const POLICY_PAGE_CAPTION;  // "Policy"
extern const char* const POLICY_RESULT_ITEM;   // "Result"

enum class RuleOutcome : uint8_t { kPass, kFail, kUnknown };

struct RuleResult {
  PolicyRule rule = PolicyRule::kVerdict;
  RuleOutcome outcome = RuleOutcome::kUnknown;
  std::string reason;  // empty for kPass
};

struct PolicyResult {
  std::vector<RuleResult> rules;  // in the policy's order
  bool passed = false;            // every rule passed
};

PolicyResult CheckPolicy(const Policy& policy, const PolicyFacts& facts);

// "PASS", "FAIL: reason" or "UNKNOWN: reason".
std::string RuleResultText(const RuleResult& result);
// "PASS", or "FAIL: " with the first rule that did not pass and its reason.
std::string PolicyResultLine(const PolicyResult& result);

// Replaces `list`'s rows: one per rule (item the rule's name), then "Result"
// PASS or FAIL. The caller shows the list as the "Policy" page.
void WritePolicyPage(const PolicyResult& result, ReportList& list);

// What the caller runs before CheckPolicy, judged from the facts of a refresh.
struct PolicyNeeds {
  bool fetch = false;     // an attestation fetch (FIDO2, or U2F for a U2F-only key)
  bool passkeys = false;  // the passkey reading (a PIN is set)
  bool metadata = false;  // a metadata file
};
PolicyNeeds WhatPolicyNeeds(const Policy& policy, const PolicyFacts& afterRefresh);
