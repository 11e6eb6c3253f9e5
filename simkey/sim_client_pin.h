// The authenticator's side of authenticatorClientPIN with PIN protocol 1:
// getRetries, getKeyAgreement, getPinToken and getUVRetries (the two retries
// questions also with protocol 2). Its state lives from the
// first request on, like a key's from power-up: the retries counter, the
// key-agreement key (replaced after every wrong PIN) and the PIN token.
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_cbor_in.h"
#include "simkey/sim_config.h"
#include "simkey/sim_crypto.h"

class SimClientPin {
 public:
  explicit SimClientPin(SimRandom& random) : random_(random) {}

  // The answer, status byte then CBOR, to the request map of command 0x06.
  std::vector<uint8_t> Answer(const SimDeviceConfig& config, const SimCborItem& request);
  // Whether `pinAuth` is the first 16 bytes of HMAC-SHA-256(pinToken,
  // clientDataHash).
  bool PinAuthMatches(const SimDeviceConfig& config, const std::vector<uint8_t>& clientDataHash,
                      const std::vector<uint8_t>& pinAuth);

 private:
  void Start(const SimDeviceConfig& config);
  std::vector<uint8_t> Retries(const SimDeviceConfig& config) const;
  std::vector<uint8_t> KeyAgreement();
  std::vector<uint8_t> PinToken(const SimDeviceConfig& config, const SimCborItem& request);

  SimRandom& random_;
  bool started_ = false;
  uint32_t retries_ = 0;
  SimEcKey keyAgreement_;
  std::vector<uint8_t> pinToken_;
};
