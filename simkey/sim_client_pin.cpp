#include "simkey/sim_client_pin.h"

#include <algorithm>
#include <optional>

#include "simkey/sim_cbor.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"

namespace {

constexpr int64_t kGetRetries = 0x01;
constexpr int64_t kGetKeyAgreement = 0x02;
constexpr int64_t kSetPin = 0x03;
constexpr int64_t kChangePin = 0x04;
constexpr int64_t kGetPinToken = 0x05;
constexpr int64_t kGetUvToken = 0x06;
constexpr int64_t kGetUvRetries = 0x07;
constexpr int64_t kGetPinTokenWithPermissions = 0x09;
constexpr uint32_t kAllPermissions = 0xFFFFFFFF;

bool IsBytes(const SimCborItem& item, size_t length) {
  return item.major == SimCborItem::kBytes && item.bytes.size() == length;
}

std::vector<uint8_t> Success(const SimCborOut& map) {
  return SimCtapAnswer(SIM_CTAP_OK, map.bytes());
}

// Read-only credential management exists only where the key says so.
bool PermissionsOffered(const SimDeviceConfig& config, uint64_t permissions) {
  return (permissions & SIMKEY_PERMISSION_PCMR) == 0 ||
         SimOptionOf(config, "perCredMgmtRO").value_or(false);
}

}  // namespace

void SimClientPin::Start(const SimDeviceConfig& config) {
  if (started_) return;
  started_ = true;
  retries_ = config.pinRetries;
  keyAgreement_.Generate(random_);
  const uint32_t length = config.pinTokenLength;
  pinToken_ = random_.Bytes(length >= 16 && length <= 64 && length % 16 == 0 ? length : 32);
}

std::vector<uint8_t> SimClientPin::Answer(const SimDeviceConfig& config,
                                          const SimCborItem& request) {
  Start(config);
  const SimCborItem& protocol = request.Find(0x01);
  const SimCborItem& subCommand = request.Find(0x02);
  if (!protocol.present() || !subCommand.present()) return {SIM_CTAP_MISSING_PARAMETER};
  const std::vector<uint32_t> announced = SimPinProtocols(config.getInfo);
  if (protocol.major != SimCborItem::kUnsigned || (protocol.Int() != 1 && protocol.Int() != 2) ||
      std::find(announced.begin(), announced.end(), protocol.Int()) == announced.end() ||
      subCommand.major != SimCborItem::kUnsigned) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  switch (subCommand.Int()) {
    case kGetRetries:
      return Retries(config);
    case kGetUvRetries: {
      SimCborOut out;
      out.Map(1);
      out.Unsigned(0x05);
      out.Unsigned(config.uvRetries);
      return Success(out);
    }
    case kGetKeyAgreement:
      return KeyAgreement();
    case kSetPin:
      return SetPin(config, protocol.Int(), request);
    case kChangePin:
      return ChangePin(config, protocol.Int(), request);
    case kGetPinToken:
      return PinToken(config, protocol.Int(), request, kAllPermissions);
    case kGetUvToken:
      return UvToken(config, protocol.Int(), request);
    case kGetPinTokenWithPermissions: {
      const SimCborItem& permissions = request.Find(0x09);
      if (!permissions.present()) return {SIM_CTAP_MISSING_PARAMETER};
      if (permissions.major != SimCborItem::kUnsigned || permissions.Int() == 0 ||
          permissions.argument > 0xFF) {
        return {SIM_CTAP_INVALID_PARAMETER};
      }
      if (!PermissionsOffered(config, permissions.argument)) {
        return {SIM_CTAP_UNAUTHORIZED_PERMISSION};
      }
      return PinToken(config, protocol.Int(), request, static_cast<uint32_t>(permissions.argument));
    }
    default:
      return {SIM_CTAP_INVALID_SUBCOMMAND};
  }
}

std::vector<uint8_t> SimClientPin::Retries(const SimDeviceConfig& config) const {
  SimCborOut out;
  out.Map(config.pinPowerCycle ? 2 : 1);
  out.Unsigned(0x03);
  out.Unsigned(retries_);
  if (config.pinPowerCycle) {
    out.Unsigned(0x04);
    out.Bool(true);
  }
  return Success(out);
}

std::vector<uint8_t> SimClientPin::KeyAgreement() {
  const std::vector<uint8_t> point = keyAgreement_.PublicKey();
  if (point.size() != 65) return {SIM_CTAP_INVALID_COMMAND};
  // {1: {1: 2 (EC2), 3: -25 (ECDH-ES+HKDF-256), -1: 1 (P-256), -2: x, -3: y}}
  SimCborOut out;
  out.Map(1);
  out.Unsigned(0x01);
  out.Map(5);
  out.Int(1);
  out.Int(2);
  out.Int(3);
  out.Int(-25);
  out.Int(-1);
  out.Int(1);
  out.Int(-2);
  out.Bytes(&point[1], 32);
  out.Int(-3);
  out.Bytes(&point[33], 32);
  return Success(out);
}

bool SimClientPin::Derive(int64_t protocol, const SimCborItem& platformKey, Secret& secret) {
  const SimCborItem& x = platformKey.Find(-2);
  const SimCborItem& y = platformKey.Find(-3);
  SimHash point{};
  if (!IsBytes(x, 32) || !IsBytes(y, 32) ||
      !keyAgreement_.SharedPoint(x.bytes.data(), y.bytes.data(), random_, point)) {
    return false;
  }
  secret.protocol = protocol;
  if (protocol == 1) {
    secret.hmacKey = SimSha256(point.data(), point.size());
    secret.aesKey = secret.hmacKey;
  } else {
    secret.hmacKey = SimHkdfSha256(point, "CTAP2 HMAC key");
    secret.aesKey = SimHkdfSha256(point, "CTAP2 AES key");
  }
  return true;
}

// Protocol 1: AES-256-CBC with a zero IV. Protocol 2: a random IV in front
// of the ciphertext.
std::vector<uint8_t> SimClientPin::Decrypt(const Secret& secret, const std::vector<uint8_t>& data) {
  if (secret.protocol == 1) return SimAesCbc(secret.aesKey, data, false);
  if (data.size() < 32) return {};
  const std::vector<uint8_t> body(data.begin() + 16, data.end());
  return SimAesCbcIv(secret.aesKey, data.data(), body, false);
}

std::vector<uint8_t> SimClientPin::Encrypt(const Secret& secret, const std::vector<uint8_t>& data) {
  if (secret.protocol == 1) return SimAesCbc(secret.aesKey, data, true);
  std::vector<uint8_t> out = random_.Bytes(16);
  const std::vector<uint8_t> body = SimAesCbcIv(secret.aesKey, out.data(), data, true);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> SimClientPin::PinToken(const SimDeviceConfig& config, int64_t protocol,
                                            const SimCborItem& request, uint32_t permissions) {
  if (Pin(config).empty()) return {SIM_CTAP_PIN_NOT_SET};
  if (retries_ == 0) return {SIM_CTAP_PIN_BLOCKED};
  const SimCborItem& platformKey = request.Find(0x03);
  const SimCborItem& pinHashEnc = request.Find(0x06);
  if (!platformKey.present() || !pinHashEnc.present()) return {SIM_CTAP_MISSING_PARAMETER};
  Secret secret;
  if (!IsBytes(pinHashEnc, protocol == 1 ? 16 : 32) || !Derive(protocol, platformKey, secret)) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  const uint8_t status = CheckPinHash(config, secret, pinHashEnc.bytes);
  if (status != SIM_CTAP_OK) return {status};
  return TokenAnswer(secret, permissions);
}

uint8_t SimClientPin::CheckPinHash(const SimDeviceConfig& config, const Secret& secret,
                                   const std::vector<uint8_t>& pinHashEnc) {
  // The attempt counts before the comparison, so that pulling the key out
  // mid-way cannot save it.
  --retries_;
  const std::vector<uint8_t> pinHash = Decrypt(secret, pinHashEnc);
  const std::string& pin = Pin(config);
  const SimHash expected = SimSha256(reinterpret_cast<const uint8_t*>(pin.data()), pin.size());
  if (pinHash.size() != 16 || !std::equal(pinHash.begin(), pinHash.end(), expected.begin())) {
    keyAgreement_.Generate(random_);
    return retries_ == 0 ? SIM_CTAP_PIN_BLOCKED : SIM_CTAP_PIN_INVALID;
  }
  retries_ = config.pinRetries;
  return SIM_CTAP_OK;
}

// The fingerprint check stands for itself: `uvAnswer` says how it ends.
std::vector<uint8_t> SimClientPin::UvToken(const SimDeviceConfig& config, int64_t protocol,
                                           const SimCborItem& request) {
  const std::optional<bool> uv = SimOptionOf(config, "uv");
  if (!uv.has_value() || !SimOptionOf(config, "pinUvAuthToken").value_or(false)) {
    return {SIM_CTAP_INVALID_SUBCOMMAND};
  }
  if (!*uv) return {SIM_CTAP_NOT_ALLOWED};  // nothing enrolled
  const SimCborItem& platformKey = request.Find(0x03);
  const SimCborItem& permissions = request.Find(0x09);
  if (!platformKey.present() || !permissions.present()) return {SIM_CTAP_MISSING_PARAMETER};
  if (permissions.major != SimCborItem::kUnsigned || permissions.Int() == 0 ||
      permissions.argument > 0xFF) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  if (!PermissionsOffered(config, permissions.argument)) {
    return {SIM_CTAP_UNAUTHORIZED_PERMISSION};
  }
  Secret secret;
  if (!Derive(protocol, platformKey, secret)) return {SIM_CTAP_INVALID_PARAMETER};
  if (config.uvAnswer != SIM_CTAP_OK) return {config.uvAnswer};
  return TokenAnswer(secret, static_cast<uint32_t>(permissions.argument));
}

std::vector<uint8_t> SimClientPin::TokenAnswer(const Secret& secret, uint32_t permissions) {
  const bool persistent = permissions != kAllPermissions && (permissions & SIMKEY_PERMISSION_PCMR);
  if (persistent && persistentToken_.empty()) persistentToken_ = random_.Bytes(pinToken_.size());
  (persistent ? persistentPermissions_ : permissions_) = permissions;
  const std::vector<uint8_t> encrypted = Encrypt(secret, persistent ? persistentToken_ : pinToken_);
  SimCborOut out;
  out.Map(1);
  out.Unsigned(0x02);
  out.Bytes(encrypted.data(), encrypted.size());
  return Success(out);
}

bool SimClientPin::PinAuthMatches(const SimDeviceConfig& config, int64_t protocol,
                                  const std::vector<uint8_t>& clientDataHash,
                                  const std::vector<uint8_t>& pinAuth) {
  Start(config);
  if (pinAuth.size() != (protocol == 1 ? 16u : 32u)) return false;
  const SimHash mac = SimHmacSha256(pinToken_, clientDataHash.data(), clientDataHash.size());
  return std::equal(pinAuth.begin(), pinAuth.end(), mac.begin());
}

uint8_t SimClientPin::CheckAuth(const SimDeviceConfig& config, const SimCborItem& protocol,
                                const SimCborItem& param, const std::vector<uint8_t>& message,
                                uint32_t permissions) {
  if (!protocol.present() || !param.present()) return SIM_CTAP_PIN_REQUIRED;
  const std::vector<uint32_t> announced = SimPinProtocols(config.getInfo);
  if (protocol.major != SimCborItem::kUnsigned || param.major != SimCborItem::kBytes ||
      std::find(announced.begin(), announced.end(), protocol.Int()) == announced.end()) {
    return SIM_CTAP_INVALID_PARAMETER;
  }
  if (PinAuthMatches(config, protocol.Int(), message, param.bytes)) {
    return Permits(permissions) ? SIM_CTAP_OK : SIM_CTAP_UNAUTHORIZED_PERMISSION;
  }
  if (persistentToken_.empty() || param.bytes.size() != (protocol.Int() == 1 ? 16u : 32u)) {
    return SIM_CTAP_PIN_AUTH_INVALID;
  }
  const SimHash mac = SimHmacSha256(persistentToken_, message.data(), message.size());
  if (!std::equal(param.bytes.begin(), param.bytes.end(), mac.begin())) {
    return SIM_CTAP_PIN_AUTH_INVALID;
  }
  return (persistentPermissions_ & permissions) != 0 ? SIM_CTAP_OK
                                                     : SIM_CTAP_UNAUTHORIZED_PERMISSION;
}
