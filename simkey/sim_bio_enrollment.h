// The authenticator's side of authenticatorBioEnrollment (0x09, and 0x40 of
// pre-release firmware) for what a host reads: getModality,
// getFingerprintSensorInfo (no token) and enumerateEnrollments (a token with
// be, pinUvAuthParam over modality || subCommand). Enrolling, renaming and
// removing are not offered (0x3E).
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_cbor_in.h"
#include "simkey/sim_client_pin.h"
#include "simkey/sim_config.h"

std::vector<uint8_t> SimBioEnrollment(const SimDeviceConfig& config, const SimCborItem& request,
                                      SimClientPin& pin);
