// What the policy rules judge, gathered from the model after a refresh, a
// fetch, the "Metadata" page and, when read, the "Passkeys" page. Nothing here
// re-derives the verdict: it is the page's one result.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"

enum class PolicyPin : uint8_t {
  kNoSupport,  // GetInfo has no clientPin option
  kNotSet,
  kSet,
};

struct PolicyFacts {
  bool keyRead = false;  // a refresh found a key and read GetInfo
  // The "Attestation chain" row: its verdict word and whole text; empty when
  // the page has no such row.
  std::string verdict;
  std::string verdictText;
  bool fetched = false;  // the last fetch gave an attestation chain
  std::string aaguid;    // 32 lowercase hex from GetInfo, or empty
  // A U2F fetch's attestation key identifier (40 lowercase hex), or empty.
  std::string keyIdentifier;
  // SHA-256 of the attestation leaf (DER), lowercase hex; a model's keys may
  // share it.
  std::string attestationLeafSha256;
  int64_t firmware = -1;  // GetInfo's firmwareVersion; -1 when absent
  std::vector<std::string> versions;
  std::vector<std::pair<std::string, bool>> options;
  PolicyPin pin = PolicyPin::kNoSupport;

  MdsVerdict blobVerdict = MdsVerdict::kNone;
  bool blobCurrent = false;   // accepted, its signer valid and nextUpdate not passed at now
  std::string blobOutOfDate;  // why it is not current, when accepted
  int64_t blobNumber = -1;
  bool modelListed = false;
  std::string modelDescription;
  // The listed entry's reports, newest first.
  std::vector<MdsStatusReport> statusReports;

  // Discoverable credentials stored; -1 when the passkeys were not read.
  int64_t passkeysStored = -1;
  std::string passkeysText;  // the row's text, when read but not a count
};

// `now` judges whether the metadata is still current.
PolicyFacts GatherPolicyFacts(const QuillmarkModel& model, const MdsBlob& blob,
                              int64_t nowUnixSeconds);
