// authenticatorGetInfo of the default key.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "simkey/sim_cbor.h"
#include "simkey/sim_config.h"
#include "simkey/sim_default_key.h"

namespace {

// Canonical CBOR order of text keys: shorter first, then bytewise.
bool CanonicalLess(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

template <typename T>
std::vector<T> Canonical(std::vector<T> entries) {
  std::sort(entries.begin(), entries.end(),
            [](const T& a, const T& b) { return CanonicalLess(a.name, b.name); });
  return entries;
}

template <size_t N>
void TextArray(SimCborOut& out, const char* const (&texts)[N]) {
  out.Array(N);
  for (const char* text : texts) out.Text(text);
}

struct NamedOption {
  std::string name;
  bool value;
};

std::vector<NamedOption> Options(const SimGetInfoConfig& info, bool clientPin) {
  std::vector<NamedOption> options;
  for (const SimOption& option : SIMKEY_OPTIONS) {
    options.push_back(
        {option.name, std::strcmp(option.name, "clientPin") == 0 ? clientPin : option.value});
  }
  for (const auto& entry : info.options) {
    const std::string& name = entry.first;
    const bool value = entry.second;
    const auto held = std::find_if(options.begin(), options.end(),
                                   [&](const NamedOption& option) { return option.name == name; });
    if (held != options.end()) {
      held->value = value;
    } else {
      options.push_back({name, value});
    }
  }
  return options;
}

std::vector<uint8_t> Write(const SimGetInfoConfig& info, bool clientPin, uint32_t remaining) {
  SimCborOut out;
  out.Map(0x1F);

  out.Unsigned(0x01);
  if (info.versions) {
    out.Array(info.versions->size());
    for (const std::string& version : *info.versions) out.Text(version);
  } else {
    TextArray(out, SIMKEY_VERSIONS);
  }
  out.Unsigned(0x02);
  TextArray(out, SIMKEY_EXTENSIONS);
  out.Unsigned(0x03);
  out.Bytes(SIMKEY_DEFAULT_AAGUID, sizeof SIMKEY_DEFAULT_AAGUID);

  out.Unsigned(0x04);
  const std::vector<NamedOption> options = Canonical(Options(info, clientPin));
  out.Map(options.size());
  for (const NamedOption& option : options) {
    out.Text(option.name);
    out.Bool(option.value);
  }

  out.Unsigned(0x05);
  out.Unsigned(info.maxMsgSize.value_or(SIMKEY_MAX_MSG_SIZE));
  out.Unsigned(0x06);
  const std::vector<uint32_t> protocols = SimPinProtocols(info);
  out.Array(protocols.size());
  for (uint32_t protocol : protocols) out.Unsigned(protocol);
  out.Unsigned(0x07);
  out.Unsigned(SIMKEY_MAX_CREDENTIAL_COUNT_IN_LIST);
  out.Unsigned(0x08);
  out.Unsigned(SIMKEY_MAX_CREDENTIAL_ID_LENGTH);
  out.Unsigned(0x09);
  TextArray(out, SIMKEY_TRANSPORTS);

  out.Unsigned(0x0A);
  out.Array(std::size(SIMKEY_ALGORITHMS));
  for (int algorithm : SIMKEY_ALGORITHMS) {
    out.Map(2);
    out.Text("alg");
    out.Int(algorithm);
    out.Text("type");
    out.Text("public-key");
  }

  out.Unsigned(0x0B);
  out.Unsigned(info.maxSerializedLargeBlobArray.value_or(SIMKEY_MAX_SERIALIZED_LARGE_BLOB_ARRAY));
  out.Unsigned(0x0C);
  out.Bool(SIMKEY_FORCE_PIN_CHANGE);
  out.Unsigned(0x0D);
  out.Unsigned(SIMKEY_MIN_PIN_LENGTH);
  out.Unsigned(0x0E);
  out.Unsigned(SIMKEY_FIRMWARE_VERSION);
  out.Unsigned(0x0F);
  out.Unsigned(SIMKEY_MAX_CRED_BLOB_LENGTH);
  out.Unsigned(0x10);
  out.Unsigned(SIMKEY_MAX_RPIDS_FOR_SET_MIN_PIN_LENGTH);
  out.Unsigned(0x11);
  out.Unsigned(SIMKEY_PREFERRED_PLATFORM_UV_ATTEMPTS);
  out.Unsigned(0x12);
  out.Unsigned(SIMKEY_UV_MODALITY);

  out.Unsigned(0x13);
  const auto certifications = Canonical(std::vector<SimCertification>(
      std::begin(SIMKEY_CERTIFICATIONS), std::end(SIMKEY_CERTIFICATIONS)));
  out.Map(certifications.size());
  for (const SimCertification& certification : certifications) {
    out.Text(certification.name);
    out.Unsigned(certification.level);
  }

  out.Unsigned(0x14);
  out.Unsigned(info.remainingDiscoverableCredentials.value_or(remaining));
  out.Unsigned(0x15);
  out.Unsigned(SIMKEY_VENDOR_PROTOTYPE_CONFIG_COMMANDS);

  out.Unsigned(0x16);
  TextArray(out, SIMKEY_ATTESTATION_FORMATS);
  out.Unsigned(0x17);
  out.Unsigned(SIMKEY_UV_COUNT_SINCE_LAST_PIN_ENTRY);
  out.Unsigned(0x18);
  out.Bool(SIMKEY_LONG_TOUCH_FOR_RESET);
  out.Unsigned(0x19);
  out.Bytes(SIMKEY_ENC_IDENTIFIER, sizeof SIMKEY_ENC_IDENTIFIER);
  out.Unsigned(0x1A);
  TextArray(out, SIMKEY_TRANSPORTS_FOR_RESET);
  out.Unsigned(0x1B);
  out.Bool(SIMKEY_PIN_COMPLEXITY_POLICY);
  out.Unsigned(0x1C);
  out.Bytes(reinterpret_cast<const uint8_t*>(SIMKEY_PIN_COMPLEXITY_POLICY_URL),
            sizeof SIMKEY_PIN_COMPLEXITY_POLICY_URL - 1);
  out.Unsigned(0x1D);
  out.Unsigned(SIMKEY_MAX_PIN_LENGTH);
  out.Unsigned(0x1E);
  out.Bytes(SIMKEY_ENC_CRED_STORE_STATE, sizeof SIMKEY_ENC_CRED_STORE_STATE);
  out.Unsigned(0x1F);
  out.Array(std::size(SIMKEY_AUTHENTICATOR_CONFIG_COMMANDS));
  for (uint32_t command : SIMKEY_AUTHENTICATOR_CONFIG_COMMANDS) out.Unsigned(command);
  return out.bytes();
}

}  // namespace

std::vector<uint8_t> SimDefaultGetInfo(bool clientPin) {
  return Write({}, clientPin, SIMKEY_REMAINING_DISCOVERABLE_CREDENTIALS);
}

std::vector<uint8_t> SimGetInfo(const SimDeviceConfig& config, bool clientPin, uint32_t remaining) {
  return Write(config.getInfo, clientPin, remaining);
}

std::optional<bool> SimOptionOf(const SimDeviceConfig& config, std::string_view name) {
  for (const NamedOption& option : Options(config.getInfo, !config.pin.empty())) {
    if (option.name == name) return option.value;
  }
  return std::nullopt;
}

bool SimAnnouncesVersion(const SimDeviceConfig& config, std::string_view version) {
  if (config.getInfo.versions) {
    const auto& versions = *config.getInfo.versions;
    return std::find(versions.begin(), versions.end(), version) != versions.end();
  }
  return std::find(std::begin(SIMKEY_VERSIONS), std::end(SIMKEY_VERSIONS), version) !=
         std::end(SIMKEY_VERSIONS);
}

std::vector<uint32_t> SimPinProtocols(const SimGetInfoConfig& info) {
  if (info.pinUvAuthProtocols) return *info.pinUvAuthProtocols;
  return {std::begin(SIMKEY_PIN_UV_AUTH_PROTOCOLS), std::end(SIMKEY_PIN_UV_AUTH_PROTOCOLS)};
}

uint32_t SimMaxMsgSize(const SimDeviceConfig& config) {
  return config.getInfo.maxMsgSize.value_or(SIMKEY_MAX_MSG_SIZE);
}
