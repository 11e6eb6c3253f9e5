// The attestation certificates, read back with mbedTLS's certificate parser.
#include "simkey/sim_attestation.h"

#include <gtest/gtest.h>

#include <iterator>

#include "simkey/sim_crypto.h"
#include "simkey/sim_default_key.h"
#include "tests/simkey/sim_cbor_check.h"
#include "tests/simkey/sim_host_crypto.h"

namespace {

const Bytes kTransportsOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xE5, 0x1C, 0x02, 0x01, 0x01};
const Bytes kAaguidOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xE5, 0x1C, 0x01, 0x01, 0x04};

TEST(SimAttestationTest, LeafCarriesTheFactsAHostShows) {
  const SimAttestationMaterial& material = SimAttestation();
  ASSERT_EQ(material.chain.size(), 4u);
  const Bytes& der = material.chain[SIMKEY_CHAIN_LEAF];
  HostCertificate leaf;
  ASSERT_TRUE(leaf.Parse(der));
  const mbedtls_x509_crt& crt = leaf.crt();
  EXPECT_EQ(crt.version, 3);
  EXPECT_EQ(Bytes(crt.serial.p, crt.serial.p + crt.serial.len),
            Join({0x00},
                 Bytes(std::begin(SIMKEY_ATTESTATION_SERIAL), std::end(SIMKEY_ATTESTATION_SERIAL))))
      << "a leading zero keeps the serial positive";
  EXPECT_EQ(leaf.Subject(),
            "C=US, O=Simulated Key Maker, OU=Authenticator Attestation, CN=Simulated Key "
            "Attestation");
  EXPECT_EQ(leaf.Issuer(), "C=US, O=Simulated Key Maker, CN=Simulated Key Maker Intermediate CA");
  EXPECT_EQ(crt.valid_from.year, 2024);
  EXPECT_EQ(crt.valid_from.mon, 1);
  EXPECT_EQ(crt.valid_from.day, 1);
  EXPECT_EQ(crt.valid_from.hour + crt.valid_from.min + crt.valid_from.sec, 0);
  EXPECT_EQ(crt.valid_to.year, 2049);
  EXPECT_EQ(crt.valid_to.mon, 12);
  EXPECT_EQ(crt.valid_to.day, 31);
  EXPECT_EQ(crt.valid_to.hour, 23);
  EXPECT_EQ(crt.valid_to.min, 59);
  EXPECT_EQ(crt.valid_to.sec, 59);
  EXPECT_EQ(crt.ca_istrue, 0);
  EXPECT_EQ(leaf.PublicKey(), material.attestationPublicKey);
  EXPECT_EQ(ExtensionValue(der, kTransportsOid), (Bytes{0x03, 0x02, 0x04, 0x30})) << "USB and NFC";
  EXPECT_EQ(ExtensionValue(der, kAaguidOid),
            Join({0x04, 0x10},
                 Bytes(std::begin(SIMKEY_DEFAULT_AAGUID), std::end(SIMKEY_DEFAULT_AAGUID))));

  // The attestation key signs.
  const Bytes data = {1, 2, 3};
  EXPECT_TRUE(VerifyP256(material.attestationPublicKey, data, SimAttestationSign(data)));
}

TEST(SimAttestationTest, ChainLinksUpToTheRoot) {
  const SimAttestationMaterial& material = SimAttestation();
  ASSERT_EQ(material.chain.size(), 4u);
  HostCertificate certificates[4];
  for (size_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(certificates[i].Parse(material.chain[i])) << i;
    EXPECT_EQ(certificates[i].Subject().find("Attestation") != std::string::npos, i == 0) << i;
  }
  // Issued by the next one: subject names and signatures.
  for (size_t i = 0; i < 2; ++i) {
    const mbedtls_x509_crt& crt = certificates[i].crt();
    EXPECT_EQ(certificates[i].Issuer(), certificates[i + 1].Subject()) << i;
    EXPECT_TRUE(VerifyP256(certificates[i + 1].PublicKey(),
                           Bytes(crt.tbs.p, crt.tbs.p + crt.tbs.len),
                           Bytes(crt.sig.p, crt.sig.p + crt.sig.len)))
        << i;
    EXPECT_EQ(certificates[i + 1].crt().ca_istrue, 1) << i;
  }
  EXPECT_EQ(certificates[SIMKEY_CHAIN_ROOT].Issuer(), certificates[SIMKEY_CHAIN_ROOT].Subject());
  EXPECT_EQ(certificates[SIMKEY_CHAIN_CROSS_ROOT].Subject(),
            certificates[SIMKEY_CHAIN_ROOT].Subject());
  EXPECT_EQ(certificates[SIMKEY_CHAIN_CROSS_ROOT].PublicKey(),
            certificates[SIMKEY_CHAIN_ROOT].PublicKey());
  EXPECT_NE(certificates[SIMKEY_CHAIN_CROSS_ROOT].Issuer().find("Legacy Root CA"),
            std::string::npos);

  // The corrupt copy keeps its outer frame and no longer parses.
  const Bytes corrupt = SimCorruptCertificate(material.chain[0]);
  ASSERT_EQ(corrupt.size(), material.chain[0].size());
  EXPECT_EQ(Bytes(corrupt.begin(), corrupt.begin() + 4),
            Bytes(material.chain[0].begin(), material.chain[0].begin() + 4));
  HostCertificate broken;
  EXPECT_FALSE(broken.Parse(corrupt));
}

TEST(SimAttestationTest, GeneratorsOfOnePersonalizationAgree) {
  SimRandom a("simkey attestation"), b("simkey attestation"), other("other");
  const Bytes first = a.Bytes(2000);  // longer than one generator request
  EXPECT_EQ(first, b.Bytes(2000));
  EXPECT_NE(first, other.Bytes(2000));
  EXPECT_NE(first, a.Bytes(2000)) << "and goes on";
}

}  // namespace
