// The signed content of a metadata file: the list of authenticator models
// with their metadata statements and status reports. Only the members shown
// or looked up are kept; every kept member is type-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct MdsStatusReport {
  std::string status;  // as written, e.g. "FIDO_CERTIFIED_L1"
  std::string effectiveDate;
  std::string certificateNumber;
  std::string certificationDescriptor;
  std::string certificationPolicyVersion;
  std::string certificationRequirementsVersion;
  std::string certificationLevel;  // when the report names it
  std::vector<std::string> certificationProfiles;
  int64_t authenticatorVersion = -1;  // -1: not given
  int64_t fipsRevision = -1;
  int64_t fipsPhysicalSecurityLevel = -1;
  // The attestation certificate (DER) a compromise report names, or empty.
  std::vector<uint8_t> certificate;
};

struct MdsEntry {
  std::string aaguid;                       // 32 lowercase hex digits, or empty
  std::vector<std::string> keyIdentifiers;  // lowercase hex
  std::string aaid;
  // From the metadata statement:
  std::string description;
  int64_t authenticatorVersion = -1;
  std::string protocolFamily;
  std::vector<std::string> attestationTypes;
  std::vector<std::string> keyProtection;
  // Each alternative as its methods joined by " + ", alternatives by "; ".
  std::string userVerificationDetails;
  std::vector<std::vector<uint8_t>> attestationRootCertificates;  // DER
  nlohmann::json authenticatorGetInfo;                            // the object, or null when absent
  // Newest first after reading: by effective date, a compromise first among
  // reports of one date, else in the file's order.
  std::vector<MdsStatusReport> statusReports;
  std::string timeOfLastStatusChange;
};

struct MdsPayload {
  std::string legalHeader;
  int64_t number = 0;      // "no"
  std::string nextUpdate;  // "YYYY-MM-DD"
  int64_t nextUpdateUnixSeconds = 0;
  std::vector<MdsEntry> entries;
};

constexpr size_t MDS_MAX_JSON_DEPTH = 64;
constexpr size_t MDS_MAX_ENTRIES = 100000;

// Empty answer on success; otherwise a clause saying what is wrong, naming
// the entry ("entry 12: aaguid is not a UUID"). `payload` is replaced.
std::string ReadMdsPayload(const uint8_t* bytes, size_t length, MdsPayload& payload);

// The statuses that mean a key of the model cannot be trusted: REVOKED and
// the compromises.
bool IsCompromiseStatus(const std::string& status);

// "cb69481e-8ff7-4039-93ec-0a2729a154a8" or 32 hex digits, any case -> 32
// lowercase hex digits; empty when the text is neither.
std::string NormalizeAaguid(const std::string& text);
