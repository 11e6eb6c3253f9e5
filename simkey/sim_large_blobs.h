// The authenticator's side of authenticatorLargeBlobs get: pieces of the
// serialized array (the profile's, else the empty one with its digest) of
// the asked count from the asked offset. Sets are not offered (0x01).
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_cbor_in.h"
#include "simkey/sim_config.h"

// 0x80 followed by the left 16 bytes of SHA-256(0x80).
std::vector<uint8_t> SimEmptyLargeBlobArray();

std::vector<uint8_t> SimLargeBlobs(const SimDeviceConfig& config, const SimCborItem& request);
