// The authenticator's side of authenticatorClientPIN with PIN protocols 1
// and 2: getRetries, getKeyAgreement, getPinToken, getUVRetries and
// getPinUvAuthTokenUsingPinWithPermissions. Its state lives from the
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
  // Whether `pinAuth` is HMAC-SHA-256(pinToken, clientDataHash): its first
  // 16 bytes with protocol 1, all 32 with protocol 2.
  bool PinAuthMatches(const SimDeviceConfig& config, int64_t protocol,
                      const std::vector<uint8_t>& clientDataHash,
                      const std::vector<uint8_t>& pinAuth);

 private:
  // The keys one protocol derives from the ECDH shared point.
  struct Secret {
    int64_t protocol = 1;
    SimHash hmacKey{};
    SimHash aesKey{};
  };
  bool Derive(int64_t protocol, const SimCborItem& platformKey, Secret& secret);
  std::vector<uint8_t> Decrypt(const Secret& secret, const std::vector<uint8_t>& data);
  std::vector<uint8_t> Encrypt(const Secret& secret, const std::vector<uint8_t>& data);

  void Start(const SimDeviceConfig& config);
  std::vector<uint8_t> Retries(const SimDeviceConfig& config) const;
  std::vector<uint8_t> KeyAgreement();
  std::vector<uint8_t> PinToken(const SimDeviceConfig& config, int64_t protocol,
                                const SimCborItem& request);

  SimRandom& random_;
  bool started_ = false;
  uint32_t retries_ = 0;
  SimEcKey keyAgreement_;
  std::vector<uint8_t> pinToken_;
};
