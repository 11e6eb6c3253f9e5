#include "attestation/x509_tolerant.h"

#include <gtest/gtest.h>
#include <mbedtls/x509_crt.h>

#include <string>
#include <vector>

#include "attestation/x509_facts.h"
#include "simkey/sim_attestation.h"
#include "test_certificates.h"
#include "x509_fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool FullParseAccepts(const Bytes& der, bool acceptUnknownExtensions) {
  mbedtls_x509_crt crt;
  mbedtls_x509_crt_init(&crt);
  auto accept = [](void*, const mbedtls_x509_crt*, const mbedtls_x509_buf*, int,
                   const unsigned char*, const unsigned char*) { return 0; };
  const int result = mbedtls_x509_crt_parse_der_with_ext_cb(
      &crt, der.data(), der.size(), 1, acceptUnknownExtensions ? +accept : nullptr, nullptr);
  mbedtls_x509_crt_free(&crt);
  return result == 0;
}

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out = {tag};
  const size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const Bytes kCnOid = {0x55, 0x04, 0x03};
const Bytes kOrgOid = {0x55, 0x04, 0x0A};
const Bytes kAaguidOidBytes = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xE5, 0x1C, 0x01, 0x01, 0x04};

Bytes Attribute(const Bytes& oid, uint8_t tag, const Bytes& value) {
  return Tlv(0x30, Cat({Tlv(0x06, oid), Tlv(tag, value)}));
}

// A certificate put together element by element: an Ed25519 key and
// signature, so only the tolerant reader can read it.
struct Parts {
  Bytes version = Tlv(0xA0, Tlv(0x02, {0x02}));
  Bytes serial = Tlv(0x02, {0x00, 0x9A, 0x01});
  Bytes algorithm = Tlv(0x30, Tlv(0x06, {0x2B, 0x65, 0x70}));
  Bytes issuer = Tlv(0x30, Tlv(0x31, Attribute(kOrgOid, 0x0C, Text("Org"))));
  Bytes validity =
      Tlv(0x30, Cat({Tlv(0x17, Text("240229235958Z")), Tlv(0x18, Text("20991231235959Z"))}));
  Bytes subject = Tlv(0x30, Cat({Tlv(0x31, Attribute(kOrgOid, 0x13, Text("Org"))),
                                 Tlv(0x31, Attribute(kCnOid, 0x0C, Text("Attestation")))}));
  Bytes publicKey = Tlv(0x30, Cat({Tlv(0x30, Tlv(0x06, {0x2B, 0x65, 0x70})),
                                   Tlv(0x03, Cat({{0x00}, Bytes(32, 0x5A)}))}));
  Bytes uniqueIds;
  Bytes extensions = Tlv(0xA3, Tlv(0x30, Tlv(0x30, Cat({Tlv(0x06, kAaguidOidBytes),
                                                        Tlv(0x04, Tlv(0x04, Bytes(16, 0xA5)))}))));
  Bytes signature = Tlv(0x03, Cat({{0x00}, Bytes(64, 0x11)}));
  Bytes trailing;

  Bytes Build() const {
    Bytes tbs = Tlv(0x30, Cat({version, serial, algorithm, issuer, validity, subject, publicKey,
                               uniqueIds, extensions}));
    return Cat({Tlv(0x30, Cat({tbs, algorithm, signature})), trailing});
  }
};

// Both readers give the same facts for every certificate both can read.
TEST(X509Tolerant, SameFactsAsTheFullParse) {
  TestKey p256 = TestKey::P256(0x11);
  TestKey issuerKey = TestKey::P256(0x22);
  TestKey p384 = TestKey::P384(0x33);
  TestKey rsa = TestKey::RsaPublic();
  CertificateRecipe recipe;
  recipe.serial = {0x8A, 0x01, 0x02};
  recipe.extensions.push_back({kTransportsOid, {0x03, 0x02, 0x04, 0x30}});
  recipe.extensions.push_back({kAaguidOid, Bytes(18, 0x04)});
  CertificateRecipe v1 = recipe;
  v1.version = 1;
  v1.extensions.clear();
  CertificateRecipe otherNames = recipe;
  otherNames.subject = "CN=Only,emailAddress=key@example.org,serialNumber=1234";
  otherNames.issuer = "C=US,emailAddress=ca@example.org";
  otherNames.notBefore = "19500101000000";
  otherNames.notAfter = "99991231235959";

  std::vector<std::pair<std::string, Bytes>> certificates = {
      {"P-256 with FIDO extensions", MakeCertificate(recipe, p256, issuerKey)},
      {"P-384", MakeCertificate(recipe, p384, issuerKey)},
      {"RSA", MakeCertificate(recipe, rsa, issuerKey)},
      {"version 1", MakeCertificate(v1, p256, issuerKey)},
      {"other names and times", MakeCertificate(otherNames, p256, issuerKey)},
      {"unknown critical extension", kP256UnknownCritical},
  };
  for (size_t i = 0; i < SimAttestation().chain.size(); ++i) {
    certificates.emplace_back("simulated key chain " + std::to_string(i),
                              SimAttestation().chain[i]);
  }
  for (const auto& [name, der] : certificates) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(FullParseAccepts(der, true));
    X509Facts full, tolerant;
    ASSERT_TRUE(ReadX509Facts(der.data(), static_cast<uint32_t>(der.size()), full));
    ASSERT_TRUE(ReadX509FactsTolerant(der.data(), static_cast<uint32_t>(der.size()), tolerant));
    EXPECT_EQ(full, tolerant);
    EXPECT_FALSE(full.serial.empty());
    EXPECT_FALSE(full.publicKey.empty());
  }
}

TEST(X509Tolerant, CertificatesTheFullParseRefuses) {
  struct Case {
    const char* name;
    const Bytes& der;
    bool acceptedWithExtensionCallback;
    std::string subject;
    std::string issuer;
    Bytes serial;
    size_t publicKeyLength;
    bool p256;
    CertificateTime notAfter;
  };
  const Case cases[] = {
      {"Ed25519 leaf",
       kEd25519AttestationLeaf,
       false,
       "US, Quillmark Test, Authenticator Attestation, Ed25519 Attestation",
       "Ed25519 Signers",
       {0x5E, 0xD2, 0x55, 0x19},
       32,
       false,
       {2099, 12, 31, 23, 59, 59}},
      {"Ed25519 root",
       kEd25519Root,
       false,
       "US, Quillmark Test, Quillmark Ed25519 Root",
       "Quillmark Ed25519 Root",
       {0x0E, 0xD0},
       32,
       false,
       {2049, 12, 31, 23, 59, 59}},
      {"P-256 under an Ed25519 root",
       kP256UnderEd25519Root,
       false,
       "US, Quillmark Test, Authenticator Attestation, P-256 Under Ed25519",
       "Quillmark Ed25519 Root",
       {0x00, 0x8A, 0x25, 0x61},
       65,
       true,
       {2049, 12, 31, 23, 59, 59}},
      {"unknown critical extension",
       kP256UnknownCritical,
       true,
       "US, Quillmark Test, Authenticator Attestation, Unknown Critical",
       "Unknown Critical",
       {0x00, 0xC4, 0x17},
       65,
       true,
       {2049, 12, 31, 23, 59, 59}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(FullParseAccepts(c.der, false));
    EXPECT_EQ(FullParseAccepts(c.der, true), c.acceptedWithExtensionCallback);
    X509Facts facts;
    ASSERT_TRUE(ReadX509Facts(c.der.data(), static_cast<uint32_t>(c.der.size()), facts));
    EXPECT_EQ(facts.version, 3);
    EXPECT_EQ(facts.subject, c.subject);
    EXPECT_EQ(facts.issuerDisplayName, c.issuer);
    EXPECT_EQ(facts.serial, c.serial);
    EXPECT_EQ(facts.publicKey.size(), c.publicKeyLength);
    EXPECT_EQ(facts.publicKeyIsP256, c.p256);
    EXPECT_EQ(facts.notBefore, (CertificateTime{2024, 1, 1, 0, 0, 0}));
    EXPECT_EQ(facts.notAfter, c.notAfter);
    const std::vector<uint8_t>* aaguid = FindExtensionValue(facts, "1.3.6.1.4.1.45724.1.1.4");
    if (c.der != kEd25519Root) {
      ASSERT_NE(aaguid, nullptr);
      EXPECT_EQ(*aaguid, Cat({{0x04, 0x10}, Text("QM-SIMKEY-AAGUID")}));
    }
    // No prefix of a certificate is one.
    for (size_t length = 0; length < c.der.size(); ++length) {
      ASSERT_FALSE(ReadX509FactsTolerant(Bytes(c.der.begin(), c.der.begin() + length).data(),
                                         static_cast<uint32_t>(length), facts))
          << length;
    }
  }
}

TEST(X509Tolerant, StructureElementByElement) {
  struct Case {
    const char* name;
    void (*change)(Parts&);
    bool accepted;
  };
  const Case cases[] = {
      {"as built", [](Parts&) {}, true},
      {"no version: v1", [](Parts& p) { p.version.clear(); }, true},
      {"unique ids",
       [](Parts& p) {
         p.uniqueIds = Cat({Tlv(0x81, {0x00, 1}), Tlv(0x82, {0x00})});
       },
       true},
      {"no extensions", [](Parts& p) { p.extensions.clear(); }, true},
      {"bytes after the certificate",
       [](Parts& p) {
         p.trailing = {0x00, 0x01};
       },
       true},
      {"multi-valued RDN, BMPString, PrintableString",
       [](Parts& p) {
         p.subject = Tlv(0x30, Tlv(0x31, Cat({Attribute(kOrgOid, 0x1E, {0x00, 'O', 0x00, 'k'}),
                                              Attribute(kCnOid, 0x13, Text("CN"))})));
       },
       true},
      {"empty names", [](Parts& p) { p.issuer = p.subject = Tlv(0x30, {}); }, true},
      {"version 4", [](Parts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0x03})); }, false},
      {"negative version", [](Parts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0xFF})); }, false},
      {"version with trailing byte",
       [](Parts& p) {
         p.version = Tlv(0xA0, Cat({Tlv(0x02, {0x02}), {0x00}}));
       },
       false},
      {"serial not an INTEGER", [](Parts& p) { p.serial = Tlv(0x04, {0x01}); }, false},
      {"empty RDN", [](Parts& p) { p.subject = Tlv(0x30, Tlv(0x31, {})); }, false},
      {"constructed attribute value",
       [](Parts& p) { p.subject = Tlv(0x30, Tlv(0x31, Attribute(kCnOid, 0x30, {}))); }, false},
      {"attribute with a third element",
       [](Parts& p) {
         p.subject =
             Tlv(0x30, Tlv(0x31, Tlv(0x30, Cat({Tlv(0x06, kCnOid), Tlv(0x0C, {}), {0x05, 0x00}}))));
       },
       false},
      {"month 13",
       [](Parts& p) {
         p.validity =
             Tlv(0x30, Cat({Tlv(0x17, Text("241301000000Z")), Tlv(0x17, Text("250101000000Z"))}));
       },
       false},
      {"one time only", [](Parts& p) { p.validity = Tlv(0x30, Tlv(0x17, Text("240101000000Z"))); },
       false},
      {"public key not a BIT STRING",
       [](Parts& p) {
         p.publicKey = Tlv(0x30, Cat({Tlv(0x30, Tlv(0x06, {0x2B, 0x65, 0x70})), Tlv(0x04, {1})}));
       },
       false},
      {"extension with trailing byte",
       [](Parts& p) {
         p.extensions =
             Tlv(0xA3, Tlv(0x30, Tlv(0x30, Cat({Tlv(0x06, kCnOid), Tlv(0x04, {}), {0x00}}))));
       },
       false},
      {"two SEQUENCEs in [3]",
       [](Parts& p) {
         p.extensions = Tlv(0xA3, Cat({Tlv(0x30, {}), Tlv(0x30, {})}));
       },
       false},
      {"element after the extensions", [](Parts& p) { p.extensions.push_back(0x05); }, false},
      {"no signature", [](Parts& p) { p.signature.clear(); }, false},
      {"signature followed by a byte", [](Parts& p) { p.signature.push_back(0x00); }, false},
  };
  for (const Case& c : cases) {
    Parts parts;
    c.change(parts);
    const Bytes der = parts.Build();
    X509Facts facts;
    EXPECT_EQ(ReadX509FactsTolerant(der.data(), static_cast<uint32_t>(der.size()), facts),
              c.accepted)
        << c.name;
  }

  const Bytes der = Parts().Build();
  X509Facts facts;
  ASSERT_TRUE(ReadX509FactsTolerant(der.data(), static_cast<uint32_t>(der.size()), facts));
  EXPECT_EQ(facts.version, 3);
  EXPECT_EQ(facts.serial, (Bytes{0x00, 0x9A, 0x01}));
  EXPECT_EQ(facts.subject, "Org, Attestation");
  EXPECT_EQ(facts.issuerDisplayName, "Org");
  EXPECT_EQ(facts.notBefore, (CertificateTime{2024, 2, 29, 23, 59, 58}));
  EXPECT_EQ(facts.notAfter, (CertificateTime{2099, 12, 31, 23, 59, 59}));
  EXPECT_EQ(facts.publicKey, Bytes(32, 0x5A));
  EXPECT_FALSE(facts.publicKeyIsP256);
  ASSERT_EQ(facts.extensions.size(), 1u);
  EXPECT_EQ(facts.extensions[0].value, Cat({{0x04, 0x10}, Bytes(16, 0xA5)}));

  Parts multiValued;
  multiValued.subject = Tlv(0x30, Tlv(0x31, Cat({Attribute(kOrgOid, 0x1E, {0x00, 'O', 0x00, 'k'}),
                                                 Attribute(kCnOid, 0x13, Text("CN"))})));
  const Bytes multi = multiValued.Build();
  ASSERT_TRUE(ReadX509FactsTolerant(multi.data(), static_cast<uint32_t>(multi.size()), facts));
  EXPECT_EQ(facts.subject, "Ok, CN");
}

TEST(X509Tolerant, FailureLeavesTheFactsAlone) {
  X509Facts facts;
  facts.subject = "kept";
  const Bytes cut(kEd25519Root.begin(), kEd25519Root.end() - 1);
  EXPECT_FALSE(ReadX509FactsTolerant(cut.data(), static_cast<uint32_t>(cut.size()), facts));
  EXPECT_FALSE(ReadX509FactsTolerant(nullptr, 10, facts));
  EXPECT_EQ(facts.subject, "kept");
}

}  // namespace
