// The authenticator's side of authenticatorMakeCredential: it checks the
// request and, when the key has a PIN, its pinAuth; then it makes a fresh
// P-256 credential and answers a packed attestation.
//
// authData:
//   [0..31]   SHA-256 of the relying party id
//   [32]      flags: 0x41 (user present, attested credential data), 0x45
//             when a pinAuth was verified (user verified too)
//   [33..36]  signature counter, high byte first
//   [37..52]  AAGUID, the one GetInfo answers (SIMKEY_DEFAULT_AAGUID)
//   [53..54]  credential id length L, high byte first
//   [55..]    credential id (L bytes), then the credential's COSE key
//             {1: 2, 3: -7, -1: 1, -2: x, -3: y}
//
// The answer map: {1: "packed", 2: authData, 3: {"alg": -7, "sig": ...,
// "x5c": [...]}}, "sig" being the DER ECDSA signature over authData followed
// by the clientDataHash.
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_cbor_in.h"
#include "simkey/sim_client_pin.h"
#include "simkey/sim_config.h"
#include "simkey/sim_credential_store.h"
#include "simkey/sim_crypto.h"

constexpr size_t SIMKEY_CREDENTIAL_ID_LENGTH = 64;

// The COSE form {1: 2, 3: -7, -1: 1, -2: x, -3: y} of a 65-byte P-256
// public key; empty for any other length.
std::vector<uint8_t> SimCoseKey(const std::vector<uint8_t>& publicKey);

// The answer, status byte then CBOR, to the request map of command 0x01.
// `signCount` is the key's counter; it grows by one per credential made.
// With option rk the credential goes into `store` (rp, user, and the
// credProtect, largeBlobKey and thirdPartyPayment extensions asked for).
std::vector<uint8_t> SimMakeCredential(const SimDeviceConfig& config, const SimCborItem& request,
                                       SimClientPin& pin, SimRandom& random, uint32_t& signCount,
                                       SimCredentialStore& store);
