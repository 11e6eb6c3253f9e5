// The rows of the "Metadata" page: what the loaded metadata file says about
// the key shown, and whether its attestation is genuine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/attestation_signature.h"
#include "metadata/mds_blob.h"

struct MetadataRow {
  std::string item;
  std::string value;
};

// What is known about the key shown.
struct MetadataKeyFacts {
  std::string aaguid;            // from GetInfo: 32 hex digits, or empty
  std::vector<uint8_t> getInfo;  // GetInfo's CBOR map, or empty
  // The attestation certificates of the last fetch, leaf first; empty
  // before a fetch.
  std::vector<std::vector<uint8_t>> attestationChain;
  bool u2fAttestation = false;  // the chain came from a U2F registration
  // The fetch's signature check with the leaf's key, and its reason when
  // kUnsupported.
  AttestationSignature signature = AttestationSignature::kNotChecked;
  std::string signatureProblem;
  // FIDO2: the AAGUID of the authenticator data (32 lowercase hex), or empty.
  std::string authDataAaguid;
};

extern const char* const METADATA_PAGE_TITLE;     // "Metadata"
extern const char* const METADATA_NO_FILE_TEXT;   // how to get a file
extern const char* const METADATA_UNKNOWN_MODEL;  // "This key's model is not in the metadata."
extern const char* const METADATA_WARNING_ITEM;   // "Warning"
// The verdict row, always the page's last: see metadata/attestation_verdict.h.
extern const char* const METADATA_VERDICT_ITEM;  // "Attestation chain"

struct ModelLookup;  // metadata/attestation_verdict.h

// Every entry listing the key's model, in the file's order; `lookup` says what
// the key was looked up by and the entry the page shows (of a model listed
// twice, the one with the strictest newest status). Empty when the blob is not
// accepted or the key names no model.
std::vector<const MdsEntry*> LookUpKeyModel(const MdsBlob& blob, const MetadataKeyFacts& key,
                                            ModelLookup& lookup);

// The rows in page order. `now` judges the attestation chain's validity.
std::vector<MetadataRow> BuildMetadataRows(const MdsBlob& blob, const MetadataKeyFacts& key,
                                           int64_t nowUnixSeconds);
