// The key's makeCredential: PIN checks and the packed attestation.
#include "simkey/sim_make_credential.h"

#include "simkey/sim_attestation.h"
#include "simkey/sim_default_key.h"
#include "tests/simkey/sim_authenticator.h"

namespace {

// What a host takes from one answer.
struct Attestation {
  Bytes authData, signature, credentialKey;
  bool hasX5c = false;
  std::vector<Bytes> x5c;
};

bool Read(const Bytes& answer, Attestation& out) {
  const Item map = DecodeAnswer(answer);
  if (answer.at(0) != 0 || map.Pairs() != 3 || map.Find(1).text != "packed") return false;
  const Item& statement = map.Find(3);
  if (statement.Find("alg").major != 1 || statement.Find("alg").value != 6) return false;
  out.authData = map.Find(2).bytes();
  out.signature = statement.Find("sig").bytes();
  const Item& x5c = statement.Find("x5c");
  out.hasX5c = x5c.major == 4;
  for (const Item& certificate : x5c.items) out.x5c.push_back(certificate.bytes());

  // authData: rpIdHash 32, flags, counter 4, AAGUID 16, L 2, id L, COSE key.
  if (out.authData.size() < 55) return false;
  const size_t idLength = size_t{out.authData[53]} << 8 | out.authData[54];
  Item key;
  size_t pos = 55 + idLength;
  if (!Decode(out.authData, pos, key) || pos != out.authData.size()) return false;
  out.credentialKey = Join({0x04}, Join(key.Find(-2).bytes(), key.Find(-3).bytes()));
  return key.Find(1).value == 2 && key.Find(3).value == 6 && out.credentialKey.size() == 65;
}

Bytes LeafKey(const Bytes& der) {
  HostCertificate certificate;
  return certificate.Parse(der) ? certificate.PublicKey() : Bytes();
}

class SimMakeCredentialTest : public SimAuthenticatorTest {};

TEST_F(SimMakeCredentialTest, AnswersAPackedAttestationAfterTheTouch) {
  SimDeviceConfig config;
  config.touchDelayMs = 1000;
  Start(config);
  const Bytes request = MakeCredentialRequest();
  ASSERT_EQ(request.size(), 171u);
  const HostReply reply = Cbor(request);
  EXPECT_EQ(reply.keepAlives, 10);

  Attestation attestation;
  ASSERT_TRUE(Read(reply.payload, attestation));
  const Bytes& authData = attestation.authData;
  EXPECT_EQ(Bytes(authData.begin(), authData.begin() + 32),
            Sha256(Bytes{'t', 'o', 'v', 'a', 'r', 'i', 'n'}));
  EXPECT_EQ(authData[32], 0x41) << "user present, attested data";
  EXPECT_EQ(Bytes(authData.begin() + 33, authData.begin() + 37), (Bytes{0, 0, 0, 1}));
  const Item info = DecodeAnswer(Cbor({0x04}).payload);
  EXPECT_EQ(Bytes(authData.begin() + 37, authData.begin() + 53), info.Find(3).bytes())
      << "the AAGUID of GetInfo";
  EXPECT_EQ(authData[54], SIMKEY_CREDENTIAL_ID_LENGTH);

  const SimAttestationMaterial& material = SimAttestation();
  ASSERT_EQ(attestation.x5c.size(), 2u);
  EXPECT_EQ(attestation.x5c[0], material.chain[SIMKEY_CHAIN_LEAF]);
  EXPECT_EQ(attestation.x5c[1], material.chain[SIMKEY_CHAIN_INTERMEDIATE]);
  EXPECT_TRUE(VerifyP256(LeafKey(attestation.x5c[0]), Join(authData, kClientDataHash),
                         attestation.signature));

  // The next credential is a new one and counts on.
  Attestation second;
  ASSERT_TRUE(Read(Cbor(request).payload, second));
  EXPECT_EQ(second.authData[36], 2);
  EXPECT_NE(second.credentialKey, attestation.credentialKey);
}

TEST_F(SimMakeCredentialTest, RefusalsComeAtOnce) {
  SimDeviceConfig withPin;
  withPin.pin = "1234";
  withPin.touchDelayMs = 5000;
  SimDeviceConfig withoutPin;
  withoutPin.touchDelayMs = 5000;
  struct Case {
    const char* name;
    const SimDeviceConfig* config;
    Bytes request;
    uint8_t status;
  };
  const Case cases[] = {
      {"PIN set, no pinAuth", &withPin, MakeCredentialRequest(), 0x36},
      {"wrong pinAuth", &withPin, MakeCredentialRequest(Bytes(16, 0xAB)), 0x33},
      {"short pinAuth", &withPin, MakeCredentialRequest(Bytes(15, 0xAB)), 0x33},
      {"pinAuth without a PIN", &withoutPin, MakeCredentialRequest(Bytes(16, 0xAB)), 0x35},
      {"only EdDSA offered", &withoutPin, MakeCredentialRequest({}, 0x27), 0x26},
      {"no parameters", &withoutPin, {0x01}, 0x14},
      {"no clientDataHash", &withoutPin, {0x01, 0xA1, 0x02, 0xA1, 0x62, 'i', 'd', 0x61, 'x'}, 0x14},
  };
  for (const Case& c : cases) {
    Start(*c.config);
    const uint64_t before = platform.clock().NowMs();
    const HostReply reply = Cbor(c.request);
    EXPECT_EQ(reply.payload, Bytes{c.status}) << c.name;
    EXPECT_EQ(reply.keepAlives, 0) << c.name;
    EXPECT_EQ(platform.clock().NowMs(), before) << c.name;
  }
}

TEST_F(SimMakeCredentialTest, AttestationOptionsShapeTheStatement) {
  using X5c = SimAttestationOptions::X5c;
  const SimAttestationMaterial& material = SimAttestation();
  struct Case {
    const char* name;
    SimAttestationOptions options;
    bool hasX5c;
    size_t certificates;
    bool verifies;  // with the leaf's key, or the credential's for self attestation
  };
  const Case cases[] = {
      {"leaf only", {X5c::kChain, 1, false, false}, true, 1, true},
      {"three", {X5c::kChain, 3, false, false}, true, 3, true},
      {"four", {X5c::kChain, 4, false, false}, true, 4, true},
      {"self attestation", {X5c::kNone, 2, false, false}, false, 0, true},
      {"empty x5c", {X5c::kEmpty, 2, false, false}, true, 0, true},
      {"corrupt leaf", {X5c::kChain, 2, true, false}, true, 2, true},
      {"wrong signature", {X5c::kChain, 2, false, true}, true, 2, false},
      {"self attestation, wrong signature", {X5c::kNone, 2, false, true}, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config;
    config.attestation = c.options;
    Start(config);
    Attestation attestation;
    ASSERT_TRUE(Read(Cbor(MakeCredentialRequest()).payload, attestation));
    EXPECT_EQ(attestation.hasX5c, c.hasX5c);
    ASSERT_EQ(attestation.x5c.size(), c.certificates);
    for (size_t i = 0; i < c.certificates; ++i) {
      HostCertificate certificate;
      const bool corrupt = i == 0 && c.options.corruptCertificate;
      EXPECT_EQ(certificate.Parse(attestation.x5c[i]), !corrupt) << i;
      if (!corrupt) {
        EXPECT_EQ(attestation.x5c[i], material.chain[i]) << i;
      }
    }
    const Bytes key = c.hasX5c ? material.attestationPublicKey : attestation.credentialKey;
    EXPECT_EQ(VerifyP256(key, Join(attestation.authData, kClientDataHash), attestation.signature),
              c.verifies);
  }
}

}  // namespace
