#include "policy/policy_check.h"

#include <algorithm>

#include "metadata/attestation_identity.h"
#include "metadata/attestation_verdict.h"
#include "metadata/mds_payload.h"

const char* const POLICY_PAGE_CAPTION = "Policy";
const char* const POLICY_RESULT_ITEM = "Result";

namespace {

RuleResult Pass(PolicyRule rule) { return {rule, RuleOutcome::kPass, {}}; }
RuleResult Fail(PolicyRule rule, std::string reason) {
  return {rule, RuleOutcome::kFail, std::move(reason)};
}
RuleResult Unknown(PolicyRule rule, std::string reason) {
  return {rule, RuleOutcome::kUnknown, std::move(reason)};
}

constexpr const char* kNoGetInfo = "GetInfo not read";

std::string ModelName(const PolicyFacts& facts) {
  if (!facts.modelDescription.empty()) return facts.modelDescription;
  if (!facts.aaguid.empty()) return "the model " + HyphenatedAaguid(facts.aaguid);
  if (!facts.keyIdentifier.empty()) return "the model of key identifier " + facts.keyIdentifier;
  return "this model";
}

RuleResult CheckVerdict(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kVerdict;
  if (!facts.fetched) return Unknown(rule, "no fetch made");
  if (facts.verdict.empty()) return Unknown(rule, "the Metadata page gives no verdict");
  if (facts.verdict == policy.verdict) return Pass(rule);
  // Missing evidence is not disproof, but it proves nothing either.
  if (facts.verdict == VERDICT_CANNOT_BE_VERIFIED) return Unknown(rule, facts.verdictText);
  return Fail(rule, facts.verdictText);
}

RuleResult CheckModels(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kModels;
  if (facts.aaguid.empty() && facts.keyIdentifier.empty()) {
    return Unknown(rule,
                   facts.keyRead ? "the key gave no AAGUID and no U2F fetch was made" : kNoGetInfo);
  }
  const auto listed = std::find_if(policy.models.begin(), policy.models.end(), [&](const auto& m) {
    return facts.aaguid.empty() ? m.keyIdentifier == facts.keyIdentifier : m.aaguid == facts.aaguid;
  });
  if (listed == policy.models.end()) {
    return Fail(rule, facts.aaguid.empty()
                          ? "attestation key identifier " + facts.keyIdentifier + " is not allowed"
                          : "AAGUID " + HyphenatedAaguid(facts.aaguid) + " is not allowed");
  }
  if (!listed->hasMinFirmware) return Pass(rule);
  const std::string name = !listed->name.empty() ? listed->name : ModelName(facts);
  const std::string required = std::to_string(listed->minFirmware) + " required for " + name;
  if (facts.firmware < 0) return Unknown(rule, "the key reports no firmware version; " + required);
  if (static_cast<uint64_t>(facts.firmware) < listed->minFirmware) {
    return Fail(rule, "firmware " + std::to_string(facts.firmware) + " is below " + required);
  }
  return Pass(rule);
}

// Why the metadata cannot speak for the key's model; empty when it can.
std::string MetadataGap(const PolicyFacts& facts) {
  if (facts.blobVerdict == MdsVerdict::kNone) return "metadata missing";
  if (facts.blobVerdict == MdsVerdict::kRejected) return "metadata rejected";
  if (facts.aaguid.empty() && facts.keyIdentifier.empty()) {
    return facts.keyRead ? "the key gave no AAGUID and no U2F fetch was made" : kNoGetInfo;
  }
  return {};
}

// A compromise or withdrawal as the newest status outweighs any level.
std::string NewestStatusProblem(const PolicyFacts& facts) {
  if (facts.statusReports.empty()) return {};
  const MdsStatusReport& newest = facts.statusReports.front();
  if (!IsCompromiseStatus(newest.status) && newest.status != "NOT_FIDO_CERTIFIED") return {};
  return "the metadata's newest status for " + ModelName(facts) + " is " + newest.status +
         (newest.effectiveDate.empty() ? std::string() : " since " + newest.effectiveDate);
}

RuleResult CheckCertification(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kCertification;
  if (std::string gap = MetadataGap(facts); !gap.empty()) return Unknown(rule, gap);
  if (!facts.modelListed) return Fail(rule, "the metadata does not list " + ModelName(facts));
  if (std::string problem = NewestStatusProblem(facts); !problem.empty()) {
    return Fail(rule, problem);
  }
  int best = 0;
  for (const MdsStatusReport& report : facts.statusReports) {
    best = std::max(
        {best, FidoCertificationRank(report.status),
         report.status == "FIDO_CERTIFIED" ? FidoCertificationRank(report.certificationLevel) : 0});
  }
  if (best >= FidoCertificationRank(policy.certification)) return Pass(rule);
  if (best == 0) {
    return Fail(rule, "the metadata reports no FIDO certification level for " + ModelName(facts));
  }
  std::string held;
  for (const MdsStatusReport& report : facts.statusReports) {
    if (FidoCertificationRank(report.status) == best) held = report.status;
  }
  if (held.empty()) held = "level " + std::to_string(best);
  return Fail(rule,
              ModelName(facts) + " is " + held + ", below " + policy.certification + " required");
}

RuleResult CheckFips(const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kFips;
  if (std::string gap = MetadataGap(facts); !gap.empty()) return Unknown(rule, gap);
  if (!facts.modelListed) return Fail(rule, "the metadata does not list " + ModelName(facts));
  if (std::string problem = NewestStatusProblem(facts); !problem.empty()) {
    return Fail(rule, problem);
  }
  for (const MdsStatusReport& report : facts.statusReports) {
    if (report.status.rfind("FIPS140_CERTIFIED", 0) == 0 || report.fipsRevision >= 0) {
      return Pass(rule);
    }
  }
  return Fail(rule, "the metadata reports no FIPS 140 certification for " + ModelName(facts));
}

RuleResult CheckMetadataCurrent(const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kMetadataCurrent;
  if (facts.blobVerdict == MdsVerdict::kNone) return Unknown(rule, "metadata missing");
  if (facts.blobVerdict == MdsVerdict::kRejected) return Fail(rule, "the metadata was rejected");
  if (!facts.blobCurrent) return Fail(rule, "the metadata is out of date: " + facts.blobOutOfDate);
  return Pass(rule);
}

RuleResult CheckPin(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kPin;
  if (!facts.keyRead) return Unknown(rule, kNoGetInfo);
  const bool set = facts.pin == PolicyPin::kSet;
  if (set == policy.pinSet) return Pass(rule);
  if (set) return Fail(rule, "a PIN is set");
  return Fail(rule,
              facts.pin == PolicyPin::kNoSupport ? "the key has no PIN support" : "no PIN is set");
}

RuleResult CheckPasskeys(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kPasskeys;
  if (!facts.keyRead) return Unknown(rule, kNoGetInfo);
  if (facts.passkeysStored < 0) {
    // Without a PIN a key keeps no discoverable credential that needs one.
    if (facts.pin != PolicyPin::kSet) return Pass(rule);
    return Unknown(rule, facts.passkeysText.empty() ? std::string("passkeys not read")
                                                    : "passkeys: " + facts.passkeysText);
  }
  if (static_cast<uint64_t>(facts.passkeysStored) <= policy.passkeys) return Pass(rule);
  return Fail(rule, std::to_string(facts.passkeysStored) +
                        " discoverable credentials stored, at most " +
                        std::to_string(policy.passkeys) + " allowed");
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  return text;
}

RuleResult CheckOptions(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kOptions;
  if (!facts.keyRead) return Unknown(rule, kNoGetInfo);
  std::vector<std::string> problems;
  for (const auto& entry : policy.options) {
    const std::string& name = entry.first;
    const bool wanted = entry.second;
    const auto found = std::find_if(facts.options.begin(), facts.options.end(),
                                    [&](const auto& option) { return option.first == name; });
    if (found == facts.options.end()) {
      problems.push_back("the key does not report option " + name);
    } else if (found->second != wanted) {
      problems.push_back("option " + name + " is " + (found->second ? "true" : "false") + ", " +
                         (wanted ? "true" : "false") + " required");
    }
  }
  return problems.empty() ? Pass(rule) : Fail(rule, Joined(problems));
}

RuleResult CheckVersions(const Policy& policy, const PolicyFacts& facts) {
  const PolicyRule rule = PolicyRule::kVersions;
  if (!facts.keyRead) return Unknown(rule, kNoGetInfo);
  std::vector<std::string> missing;
  for (const std::string& version : policy.versions) {
    if (std::find(facts.versions.begin(), facts.versions.end(), version) == facts.versions.end()) {
      missing.push_back("the key does not support " + version);
    }
  }
  return missing.empty() ? Pass(rule) : Fail(rule, Joined(missing));
}

RuleResult CheckRule(PolicyRule rule, const Policy& policy, const PolicyFacts& facts) {
  switch (rule) {
    case PolicyRule::kVerdict:
      return CheckVerdict(policy, facts);
    case PolicyRule::kModels:
      return CheckModels(policy, facts);
    case PolicyRule::kCertification:
      return CheckCertification(policy, facts);
    case PolicyRule::kFips:
      return CheckFips(facts);
    case PolicyRule::kMetadataCurrent:
      return CheckMetadataCurrent(facts);
    case PolicyRule::kPin:
      return CheckPin(policy, facts);
    case PolicyRule::kPasskeys:
      return CheckPasskeys(policy, facts);
    case PolicyRule::kOptions:
      return CheckOptions(policy, facts);
    case PolicyRule::kVersions:
      return CheckVersions(policy, facts);
  }
  return Unknown(rule, "not a rule");
}

}  // namespace

PolicyResult CheckPolicy(const Policy& policy, const PolicyFacts& facts) {
  PolicyResult result;
  for (PolicyRule rule : policy.rules) result.rules.push_back(CheckRule(rule, policy, facts));
  // No rule, no evidence: an empty policy never passes a key.
  result.passed = !result.rules.empty() &&
                  std::all_of(result.rules.begin(), result.rules.end(),
                              [](const RuleResult& r) { return r.outcome == RuleOutcome::kPass; });
  return result;
}

std::string RuleResultText(const RuleResult& result) {
  switch (result.outcome) {
    case RuleOutcome::kPass:
      return "PASS";
    case RuleOutcome::kFail:
      return "FAIL: " + result.reason;
    case RuleOutcome::kUnknown:
      break;
  }
  return "UNKNOWN: " + result.reason;
}

std::string PolicyResultLine(const PolicyResult& result) {
  if (result.passed) return "PASS";
  for (const RuleResult& rule : result.rules) {
    if (rule.outcome != RuleOutcome::kPass) {
      return std::string("FAIL: ") + PolicyRuleName(rule.rule) + ": " +
             (rule.outcome == RuleOutcome::kUnknown ? "unknown, " : "") + rule.reason;
    }
  }
  return "FAIL: the policy has no rule";
}

void WritePolicyPage(const PolicyResult& result, ReportList& list) {
  list.Clear();
  for (const RuleResult& rule : result.rules) {
    list.AppendRow(PolicyRuleName(rule.rule), ToValidUtf8(RuleResultText(rule)));
  }
  list.AppendRow(POLICY_RESULT_ITEM, result.passed ? "PASS" : "FAIL");
}

PolicyNeeds WhatPolicyNeeds(const Policy& policy, const PolicyFacts& afterRefresh) {
  PolicyNeeds needs;
  // A U2F-only key names its model only through its attestation.
  const bool noAaguid = afterRefresh.aaguid.empty();
  for (PolicyRule rule : policy.rules) {
    switch (rule) {
      case PolicyRule::kVerdict:
        needs.fetch = needs.metadata = true;
        break;
      case PolicyRule::kModels:
        needs.fetch = needs.fetch || noAaguid;
        break;
      case PolicyRule::kCertification:
      case PolicyRule::kFips:
        needs.metadata = true;
        needs.fetch = needs.fetch || noAaguid;
        break;
      case PolicyRule::kMetadataCurrent:
        needs.metadata = true;
        break;
      case PolicyRule::kPasskeys:
        needs.passkeys = needs.passkeys || afterRefresh.pin == PolicyPin::kSet;
        break;
      case PolicyRule::kPin:
      case PolicyRule::kOptions:
      case PolicyRule::kVersions:
        break;
    }
  }
  return needs;
}
