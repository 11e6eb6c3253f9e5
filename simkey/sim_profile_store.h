// The profile members of what a key stores and announces:
//
//   "credentials": [ { "rpId": "example.com", "rpName": "Example", "userId": "0102",
//                      "userName": "alice", "displayName": "Alice",
//                      "credentialId": "A1B2...", "credProtect": 2, "largeBlobKey": true,
//                      "thirdPartyPayment": false } ],
//   "maxCredentials": 25,
//   "getInfo": { "versions": ["FIDO_2_0", "FIDO_2_1"], "options": { "uv": true },
//                "pinUvAuthProtocols": [2, 1], "maxMsgSize": 1200,
//                "maxSerializedLargeBlobArray": 1024, "remainingDiscoverableCredentials": 25 },
//   "credmanQuirks": { "totalRPs": "given" | "leftOutWhenNone" | "leftOut",
//                      "emptyRpsStatus": "2E", "claimedTotalRPs": 4000000000,
//                      "claimedTotalCredentials": 4000000000, "pastEndStatus": "30",
//                      "noMaxRemaining": false },
//   "uvAnswer": "3F",
//   "fingerprints": [ { "templateId": "0001", "friendlyName": "right thumb" } ],
//   "fingerprintKind": 1, "samplesForEnroll": 5,
//   "largeBlobArray": "80 76BE8B528D0075F7AAE98D6FA57A6D3C"
//
// Only rpId and userId of a credential are required; a missing credentialId
// is derived from them. Statuses are bytes (a number or hex).
#pragma once

#include <string>

#include "simkey/sim_config.h"
#include "simkey/sim_profile_reader.h"

// Reads `key` when it is one of the members above (`known` then true).
// False, with the reader's error set, for a bad value.
bool SimReadStoreField(SimJsonReader& reader, const std::string& key, const SimJson& value,
                       const std::string& where, SimDeviceConfig& config, bool& known);

// Adds the members above that differ from the default key's to `device`.
void SimWriteStoreFields(const SimDeviceConfig& config, SimJson& device);
