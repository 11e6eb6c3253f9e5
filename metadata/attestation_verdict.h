// The verdict of the "Attestation chain" row: whether the key proved to be a
// genuine key of the model the metadata lists, in one of four forms whose
// words before the colon are the verdict:
//   "genuine: ..."             every check passed
//   "not genuine: ..."         something was disproved
//   "cannot be trusted: ..."   the metadata reports the model revoked or compromised
//   "cannot be verified: ..."  the evidence is missing or not checkable
#pragma once

#include <cstdint>
#include <string>

#include "metadata/mds_blob.h"
#include "metadata/metadata_page.h"

extern const char* const VERDICT_GENUINE;             // "genuine"
extern const char* const VERDICT_NOT_GENUINE;         // "not genuine"
extern const char* const VERDICT_CANNOT_BE_TRUSTED;   // "cannot be trusted"
extern const char* const VERDICT_CANNOT_BE_VERIFIED;  // "cannot be verified"

// What the page looked the key up by, and found.
struct ModelLookup {
  std::string aaguid;               // the AAGUID looked up (32 lowercase hex), or empty
  std::string keyIdentifier;        // the U2F key identifier looked up, or empty
  const MdsEntry* entry = nullptr;  // the entry shown; null when not listed
};

// The row's text. `blob` must be accepted for anything but "cannot be
// verified".
std::string AttestationVerdictText(const MdsBlob& blob, const MetadataKeyFacts& key,
                                   const ModelLookup& lookup, int64_t nowUnixSeconds);

// The verdict words of a row's text ("not genuine" of "not genuine: ..."),
// or empty when the text has none of the four.
std::string VerdictOf(const std::string& rowText);
