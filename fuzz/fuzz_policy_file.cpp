// The policy reader on arbitrary bytes: a policy read or refused with a
// place, never both; one read is judged against facts of nothing.
#include <cstddef>
#include <cstdint>

#include "policy/policy_check.h"
#include "policy/policy_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Policy policy;
  const std::string problem = ReadPolicy(data, size, policy);
  if (problem.empty() == policy.rules.empty()) __builtin_trap();
  if (!problem.empty()) {
    if (problem[0] != '/') __builtin_trap();
    return 0;
  }
  // A key that proved nothing passes no policy.
  const PolicyResult result = CheckPolicy(policy, PolicyFacts());
  if (result.passed) __builtin_trap();
  ReportList page;
  WritePolicyPage(result, page);
  WhatPolicyNeeds(policy, PolicyFacts());
  return 0;
}
