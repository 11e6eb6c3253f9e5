// Readers of the authenticatorCredentialManagement answers. A member the key
// leaves out is "not given" (real keys omit totalRPs when there are none); a
// member of the wrong type fails the whole answer, which leaves the record
// empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "credentials/answer_members.h"

struct CredsMetadata {
  std::optional<uint32_t> existing;   // existingResidentCredentialsCount
  std::optional<uint32_t> remaining;  // maxPossibleRemainingResidentCredentialsCount
};

struct RelyingPartyAnswer {
  std::optional<std::string> id;
  std::optional<std::string> name;
  std::optional<std::vector<uint8_t>> rpIdHash;  // 32 bytes
  std::optional<uint32_t> totalRps;
};

struct CredentialAnswer {
  std::optional<std::vector<uint8_t>> userId;
  std::optional<std::string> userName;
  std::optional<std::string> displayName;
  std::optional<std::vector<uint8_t>> credentialId;
  std::optional<std::string> credentialType;
  std::vector<uint8_t> publicKey;  // the encoded COSE key, or empty
  std::optional<uint32_t> totalCredentials;
  std::optional<uint32_t> credProtect;
  bool hasLargeBlobKey = false;  // the key itself is never kept
  std::optional<bool> thirdPartyPayment;
};

// Each answers ANSWER_OK, ANSWER_UNREADABLE or ANSWER_WRONG_TYPE; `answer` is
// the CBOR after the status byte.
int32_t ReadCredsMetadata(const uint8_t* answer, uint32_t length, CredsMetadata& out);
int32_t ReadRelyingPartyAnswer(const uint8_t* answer, uint32_t length, RelyingPartyAnswer& out);
int32_t ReadCredentialAnswer(const uint8_t* answer, uint32_t length, CredentialAnswer& out);

// The count bound when the key's own maximum is not known.
constexpr uint32_t CREDMAN_DEFAULT_COUNT_BOUND = 1000;
// Never more, whatever the key says it holds.
constexpr uint32_t CREDMAN_COUNT_CEILING = 10000;

// The most RPs or credentials per RP a key can hold: its count of stored
// credentials when it gave one (capped by the ceiling), else the default.
uint32_t CredmanCountBound(const CredsMetadata& metadata);

// How many GetNext calls follow a Begin answer that gave `total`: total - 1,
// the total first capped by `bound`; 0 when no total was given.
uint32_t GetNextCallsAllowed(std::optional<uint32_t> total, uint32_t bound);
