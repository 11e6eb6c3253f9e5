// An acceptance policy: the rules a key must meet before it is handed out,
// read from a JSON file. Every rule is optional; anything the reader does not
// know is refused, so that a misspelt rule cannot pass every key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The rules by their names in the file.
enum class PolicyRule : uint8_t {
  kVerdict,          // "verdict"
  kModels,           // "models"
  kCertification,    // "certification"
  kFips,             // "fips"
  kMetadataCurrent,  // "metadataCurrent"
  kPin,              // "pin"
  kPasskeys,         // "passkeys"
  kOptions,          // "options"
  kVersions,         // "versions"
};

// The rule's name as the file writes it.
const char* PolicyRuleName(PolicyRule rule);

// One allowed model: a FIDO2 AAGUID or a U2F attestation key identifier.
struct PolicyModel {
  std::string aaguid;         // 32 lowercase hex digits, or empty
  std::string keyIdentifier;  // 40 lowercase hex digits, or empty
  bool hasMinFirmware = false;
  uint64_t minFirmware = 0;
  std::string name;  // may be empty
};

struct Policy {
  // The rules present, in the file's order; only their members below count.
  std::vector<PolicyRule> rules;
  std::string verdict;  // one of metadata/attestation_verdict.h's words
  std::vector<PolicyModel> models;
  std::string certification;  // "FIDO_CERTIFIED_L1" ... "FIDO_CERTIFIED_L3plus"
  bool fips = false;          // "fips": true, the only value allowed
  bool metadataCurrent = false;
  bool pinSet = false;  // "pin": "set" (true) or "not set"
  uint64_t passkeys = 0;
  std::vector<std::pair<std::string, bool>> options;  // in the file's order
  std::vector<std::string> versions;

  bool Has(PolicyRule rule) const;
};

// A policy is a few lines: anything near these bounds is not one.
constexpr size_t POLICY_MAX_FILE_BYTES = 1024 * 1024;
constexpr size_t POLICY_MAX_DEPTH = 8;

// Empty on success; otherwise one sentence naming the place as a JSON pointer
// ("/models/1/minFirmware: not an unsigned integer"), and `policy` is empty.
std::string ReadPolicy(const uint8_t* bytes, size_t length, Policy& policy);
std::string ReadPolicyFile(const std::string& path, Policy& policy);

// The rank of a FIDO certification level ("FIDO_CERTIFIED_L1" 1,
// "FIDO_CERTIFIED_L1plus" 2 ... "FIDO_CERTIFIED_L3plus" 6), also of the bare
// level ("L2"); 0 for anything else.
int FidoCertificationRank(const std::string& status);
