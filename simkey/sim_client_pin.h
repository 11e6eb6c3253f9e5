// The authenticator's side of authenticatorClientPIN with the PIN protocols
// GetInfo announces: getRetries, getKeyAgreement, setPIN, changePIN,
// getPinToken, getUVRetries, getPinUvAuthTokenUsingUvWithPermissions and
// getPinUvAuthTokenUsingPinWithPermissions. Its state lives from the first
// request on, like a key's from power-up: the retries counter, the
// key-agreement key (replaced after every wrong PIN) and the token with its
// permissions (getPinToken's token may do everything, as before permissions
// existed) and the persistent read-only token beside it. A PIN set or changed
// here replaces the profile's for as long as the device lives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
  // The status of a management command's pinUvAuthProtocol and
  // pinUvAuthParam over `message` from a token with one of `permissions`:
  // 0, or 0x36 without them, 0x02 for a protocol not announced, 0x33 for a
  // wrong one, 0x40 for a token without the permission.
  uint8_t CheckAuth(const SimDeviceConfig& config, const SimCborItem& protocol,
                    const SimCborItem& param, const std::vector<uint8_t>& message,
                    uint32_t permissions);
  // Whether the token's permissions hold one of `permissions`.
  bool Permits(uint32_t permissions) const { return (permissions_ & permissions) != 0; }
  // The PIN the key has now: the one last set or changed, else the
  // profile's; empty when it has none.
  const std::string& Pin(const SimDeviceConfig& config) const { return pin_ ? *pin_ : config.pin; }

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
                                const SimCborItem& request, uint32_t permissions);
  // Compares pinHashEnc with the PIN, counting the attempt: 0, 0x31 or 0x32.
  uint8_t CheckPinHash(const SimDeviceConfig& config, const Secret& secret,
                       const std::vector<uint8_t>& pinHashEnc);
  std::vector<uint8_t> SetPin(const SimDeviceConfig& config, int64_t protocol,
                              const SimCborItem& request);
  std::vector<uint8_t> ChangePin(const SimDeviceConfig& config, int64_t protocol,
                                 const SimCborItem& request);
  // Whether `param` authenticates `message` with the shared secret's HMAC key.
  static bool Verify(const Secret& secret, const std::vector<uint8_t>& message,
                     const SimCborItem& param);
  // The status of newPinEnc's PIN, 0 with it in `pin`.
  uint8_t NewPin(const Secret& secret, const std::vector<uint8_t>& newPinEnc, std::string& pin);
  // Takes `pin` as the key's PIN: the retries start again and every token
  // handed out before is void.
  void Replace(const SimDeviceConfig& config, std::string pin);
  std::vector<uint8_t> UvToken(const SimDeviceConfig& config, int64_t protocol,
                               const SimCborItem& request);
  // The token, encrypted for the platform, as the answer {2: token}.
  std::vector<uint8_t> TokenAnswer(const Secret& secret, uint32_t permissions);

  SimRandom& random_;
  bool started_ = false;
  uint32_t retries_ = 0;
  SimEcKey keyAgreement_;
  std::vector<uint8_t> pinToken_;
  uint32_t permissions_ = 0;  // none until a token was handed out
  // A pcmr token lives beside the other, as a key's persistent token does:
  // asking for either leaves the other valid. Drawn at its first request.
  std::vector<uint8_t> persistentToken_;
  uint32_t persistentPermissions_ = 0;
  std::optional<std::string> pin_;  // none: the profile's
};

constexpr uint32_t SIMKEY_PERMISSION_MC = 0x01;
constexpr uint32_t SIMKEY_PERMISSION_CM = 0x04;
constexpr uint32_t SIMKEY_PERMISSION_BE = 0x08;
constexpr uint32_t SIMKEY_PERMISSION_PCMR = 0x40;
