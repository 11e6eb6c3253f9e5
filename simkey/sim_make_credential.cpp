#include "simkey/sim_make_credential.h"

#include <algorithm>
#include <string>

#include "simkey/sim_attestation.h"
#include "simkey/sim_cbor.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"

namespace {

constexpr uint8_t kFlagUserPresent = 0x01;
constexpr uint8_t kFlagUserVerified = 0x04;
constexpr uint8_t kFlagAttestedData = 0x40;
constexpr int64_t kEs256 = -7;

bool OffersEs256(const SimCborItem& parameters) {
  if (parameters.major != SimCborItem::kArray) return false;
  for (const SimCborItem& entry : parameters.items) {
    const SimCborItem& alg = entry.Find("alg");
    if (entry.Find("type").IsText("public-key") && alg.IsInt() && alg.Int() == kEs256) {
      return true;
    }
  }
  return false;
}

void Append(std::vector<uint8_t>& out, const uint8_t* data, size_t length) {
  out.insert(out.end(), data, data + length);
}

std::vector<uint8_t> AuthData(const SimCborItem& rpId, uint8_t flags, uint32_t signCount,
                              const std::vector<uint8_t>& credentialId,
                              const std::vector<uint8_t>& publicKey) {
  std::vector<uint8_t> authData;
  const SimHash rpIdHash = SimSha256(rpId.bytes.data(), rpId.bytes.size());
  Append(authData, rpIdHash.data(), rpIdHash.size());
  authData.push_back(flags);
  for (int shift = 24; shift >= 0; shift -= 8) {
    authData.push_back(static_cast<uint8_t>(signCount >> shift));
  }
  Append(authData, SIMKEY_DEFAULT_AAGUID, sizeof SIMKEY_DEFAULT_AAGUID);
  authData.push_back(static_cast<uint8_t>(credentialId.size() >> 8));
  authData.push_back(static_cast<uint8_t>(credentialId.size()));
  Append(authData, credentialId.data(), credentialId.size());
  const std::vector<uint8_t> key = SimCoseKey(publicKey);
  Append(authData, key.data(), key.size());
  return authData;
}

std::string TextOf(const SimCborItem& item) {
  if (item.major != SimCborItem::kText) return {};
  return {item.bytes.begin(), item.bytes.end()};
}

SimStoredCredential Discoverable(const SimCborItem& rp, const SimCborItem& user,
                                 const SimCborItem& extensions,
                                 const std::vector<uint8_t>& credentialId) {
  SimStoredCredential stored;
  stored.rpId = TextOf(rp.Find("id"));
  stored.rpName = TextOf(rp.Find("name"));
  stored.userId = user.Find("id").bytes;
  stored.userName = TextOf(user.Find("name"));
  stored.displayName = TextOf(user.Find("displayName"));
  stored.credentialId = credentialId;
  const SimCborItem& credProtect = extensions.Find("credProtect");
  if (credProtect.major == SimCborItem::kUnsigned && credProtect.argument >= 1 &&
      credProtect.argument <= 3) {
    stored.credProtect = static_cast<uint32_t>(credProtect.argument);
  }
  stored.largeBlobKey = extensions.Find("largeBlobKey").IsTrue();
  stored.thirdPartyPayment = extensions.Find("thirdPartyPayment").IsTrue();
  return stored;
}

}  // namespace

std::vector<uint8_t> SimCoseKey(const std::vector<uint8_t>& publicKey) {
  if (publicKey.size() != 65) return {};
  SimCborOut key;
  key.Map(5);
  key.Int(1);
  key.Int(2);  // kty EC2
  key.Int(3);
  key.Int(kEs256);
  key.Int(-1);
  key.Int(1);  // crv P-256
  key.Int(-2);
  key.Bytes(&publicKey[1], 32);
  key.Int(-3);
  key.Bytes(&publicKey[33], 32);
  return key.bytes();
}

std::vector<uint8_t> SimMakeCredential(const SimDeviceConfig& config, const SimCborItem& request,
                                       SimClientPin& pin, SimRandom& random, uint32_t& signCount,
                                       SimCredentialStore& store) {
  const SimCborItem& clientDataHash = request.Find(0x01);
  const SimCborItem& rp = request.Find(0x02);
  const SimCborItem& user = request.Find(0x03);
  const SimCborItem& parameters = request.Find(0x04);
  const SimCborItem& pinAuth = request.Find(0x08);
  const SimCborItem& pinProtocol = request.Find(0x09);
  if (!clientDataHash.present() || !rp.present() || !user.present() || !parameters.present()) {
    return {SIM_CTAP_MISSING_PARAMETER};
  }
  const SimCborItem& rpId = rp.Find("id");
  if (clientDataHash.major != SimCborItem::kBytes || clientDataHash.bytes.size() != 32 ||
      rpId.major != SimCborItem::kText || user.Find("id").major != SimCborItem::kBytes) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  if (!OffersEs256(parameters)) return {SIM_CTAP_UNSUPPORTED_ALGORITHM};

  uint8_t flags = kFlagUserPresent | kFlagAttestedData;
  if (pinAuth.present()) {
    if (pin.Pin(config).empty()) return {SIM_CTAP_PIN_NOT_SET};
    if (!pinProtocol.present()) return {SIM_CTAP_MISSING_PARAMETER};
    if (!pinProtocol.IsInt() || (pinProtocol.Int() != 1 && pinProtocol.Int() != 2)) {
      return {SIM_CTAP_INVALID_PARAMETER};
    }
    if (pinAuth.major != SimCborItem::kBytes ||
        !pin.PinAuthMatches(config, pinProtocol.Int(), clientDataHash.bytes, pinAuth.bytes)) {
      return {SIM_CTAP_PIN_AUTH_INVALID};
    }
    if (!pin.Permits(SIMKEY_PERMISSION_MC)) return {SIM_CTAP_UNAUTHORIZED_PERMISSION};
    flags |= kFlagUserVerified;
  } else if (!pin.Pin(config).empty()) {
    return {SIM_CTAP_PIN_REQUIRED};
  }

  const SimAttestationMaterial& material = SimAttestation();
  SimEcKey credential;
  if (material.chain.empty() || !credential.Generate(random)) return {SIM_CTAP_OTHER};
  const std::vector<uint8_t> credentialId = random.Bytes(SIMKEY_CREDENTIAL_ID_LENGTH);
  if (request.Find(0x07).Find("rk").IsTrue() &&
      !store.Add(Discoverable(rp, user, request.Find(0x06), credentialId),
                 credential.PublicKey())) {
    return {SIM_CTAP_KEY_STORE_FULL};
  }
  const std::vector<uint8_t> authData =
      AuthData(rpId, flags, ++signCount, credentialId, credential.PublicKey());

  const SimAttestationOptions& options = config.attestation;
  std::vector<uint8_t> signedData = authData;
  signedData.insert(signedData.end(), clientDataHash.bytes.begin(), clientDataHash.bytes.end());
  if (options.wrongSignature) signedData.back() ^= 0x01;
  const bool self = options.x5c == SimAttestationOptions::X5c::kNone;
  const std::vector<uint8_t> signature =
      self ? credential.Sign(signedData, random)
           : SimAttestationSign(signedData, config.attestationMaterial.privateKey);
  if (signature.empty()) return {SIM_CTAP_OTHER};

  SimCborOut out;
  out.Map(3);
  out.Unsigned(0x01);
  out.Text("packed");
  out.Unsigned(0x02);
  out.Bytes(authData.data(), authData.size());
  out.Unsigned(0x03);
  out.Map(self ? 2 : 3);
  out.Text("alg");
  out.Int(kEs256);
  out.Text("sig");
  out.Bytes(signature.data(), signature.size());
  if (!self) {
    out.Text("x5c");
    // A custom chain goes whole; "certificates" cuts the built-in one.
    const bool custom = !config.attestationMaterial.chain.empty();
    const std::vector<std::vector<uint8_t>>& chain =
        custom ? config.attestationMaterial.chain : material.chain;
    size_t count = 0;
    if (options.x5c == SimAttestationOptions::X5c::kChain) {
      count = custom ? chain.size()
                     : std::min<size_t>(std::max<uint32_t>(options.certificates, 1), chain.size());
    }
    out.Array(count);
    for (size_t i = 0; i < count; ++i) {
      const std::vector<uint8_t> certificate =
          i == 0 && options.corruptCertificate ? SimCorruptCertificate(chain[i]) : chain[i];
      out.Bytes(certificate.data(), certificate.size());
    }
  }
  return SimCtapAnswer(SIM_CTAP_OK, out.bytes());
}
