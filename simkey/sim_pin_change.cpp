// setPIN and changePIN of SimClientPin: the PIN a host chooses replaces the
// profile's, sent encrypted and padded to 64 bytes, under the shared secret's
// HMAC.
#include <algorithm>

#include "simkey/sim_client_pin.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"

namespace {

constexpr size_t kPaddedPinLength = 64;

bool AreBytes(const SimCborItem& item) { return item.major == SimCborItem::kBytes; }

}  // namespace

std::vector<uint8_t> SimClientPin::SetPin(const SimDeviceConfig& config, int64_t protocol,
                                          const SimCborItem& request) {
  const SimCborItem& platformKey = request.Find(0x03);
  const SimCborItem& param = request.Find(0x04);
  const SimCborItem& newPinEnc = request.Find(0x05);
  if (!platformKey.present() || !param.present() || !newPinEnc.present()) {
    return {SIM_CTAP_MISSING_PARAMETER};
  }
  if (!Pin(config).empty()) return {SIM_CTAP_PIN_AUTH_INVALID};
  Secret secret;
  if (!AreBytes(newPinEnc) || !Derive(protocol, platformKey, secret)) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  if (!Verify(secret, newPinEnc.bytes, param)) return {SIM_CTAP_PIN_AUTH_INVALID};
  std::string pin;
  const uint8_t status = NewPin(secret, newPinEnc.bytes, pin);
  if (status == SIM_CTAP_OK) Replace(config, std::move(pin));
  return {status};
}

std::vector<uint8_t> SimClientPin::ChangePin(const SimDeviceConfig& config, int64_t protocol,
                                             const SimCborItem& request) {
  const SimCborItem& platformKey = request.Find(0x03);
  const SimCborItem& param = request.Find(0x04);
  const SimCborItem& newPinEnc = request.Find(0x05);
  const SimCborItem& pinHashEnc = request.Find(0x06);
  if (!platformKey.present() || !param.present() || !newPinEnc.present() || !pinHashEnc.present()) {
    return {SIM_CTAP_MISSING_PARAMETER};
  }
  if (Pin(config).empty()) return {SIM_CTAP_PIN_NOT_SET};
  if (retries_ == 0) return {SIM_CTAP_PIN_BLOCKED};
  Secret secret;
  if (!AreBytes(newPinEnc) || !AreBytes(pinHashEnc) ||
      pinHashEnc.bytes.size() != (protocol == 1 ? 16u : 32u) ||
      !Derive(protocol, platformKey, secret)) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  std::vector<uint8_t> message = newPinEnc.bytes;
  message.insert(message.end(), pinHashEnc.bytes.begin(), pinHashEnc.bytes.end());
  if (!Verify(secret, message, param)) return {SIM_CTAP_PIN_AUTH_INVALID};
  uint8_t status = CheckPinHash(config, secret, pinHashEnc.bytes);
  if (status != SIM_CTAP_OK) return {status};
  std::string pin;
  status = NewPin(secret, newPinEnc.bytes, pin);
  if (status == SIM_CTAP_OK) Replace(config, std::move(pin));
  return {status};
}

bool SimClientPin::Verify(const Secret& secret, const std::vector<uint8_t>& message,
                          const SimCborItem& param) {
  if (!AreBytes(param) || param.bytes.size() != (secret.protocol == 1 ? 16u : 32u)) return false;
  const std::vector<uint8_t> key(secret.hmacKey.begin(), secret.hmacKey.end());
  const SimHash mac = SimHmacSha256(key, message.data(), message.size());
  return std::equal(param.bytes.begin(), param.bytes.end(), mac.begin());
}

uint8_t SimClientPin::NewPin(const Secret& secret, const std::vector<uint8_t>& newPinEnc,
                             std::string& pin) {
  const std::vector<uint8_t> padded = Decrypt(secret, newPinEnc);
  if (padded.size() != kPaddedPinLength) return SIM_CTAP_INVALID_PARAMETER;
  // At least one zero byte ends the PIN (so at most 63 bytes), and nothing
  // but zeros follows it.
  const auto end = std::find(padded.begin(), padded.end(), 0);
  if (end == padded.end() ||
      std::any_of(end, padded.end(), [](uint8_t byte) { return byte != 0; })) {
    return SIM_CTAP_PIN_POLICY_VIOLATION;
  }
  // minPINLength counts code points: every byte but UTF-8 continuations.
  const auto codePoints =
      std::count_if(padded.begin(), end, [](uint8_t byte) { return (byte & 0xC0) != 0x80; });
  if (codePoints < static_cast<long>(SIMKEY_MIN_PIN_LENGTH)) return SIM_CTAP_PIN_POLICY_VIOLATION;
  pin.assign(padded.begin(), end);
  return SIM_CTAP_OK;
}

void SimClientPin::Replace(const SimDeviceConfig& config, std::string pin) {
  pin_ = std::move(pin);
  retries_ = config.pinRetries;
  pinToken_ = random_.Bytes(pinToken_.size());
  permissions_ = 0;
  persistentToken_.clear();
  persistentPermissions_ = 0;
}
