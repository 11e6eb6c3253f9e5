#include "test_certificates.h"

#include <gtest/gtest.h>
#include <mbedtls/bignum.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/ecp.h>
#include <mbedtls/rsa.h>
#include <mbedtls/sha256.h>
#include <mbedtls/x509_crt.h>

#include <cstring>

const char kTransportsOid[] = "\x2B\x06\x01\x04\x01\x82\xE5\x1C\x02\x01\x01";
const char kAaguidOid[] = "\x2B\x06\x01\x04\x01\x82\xE5\x1C\x01\x01\x04";

int TestRandom(void* context, unsigned char* output, size_t length) {
  uint32_t* state = static_cast<uint32_t*>(context);
  static uint32_t shared = 0x12345678;
  if (state == nullptr) state = &shared;
  for (size_t i = 0; i < length; ++i) {
    *state = *state * 1103515245u + 12345u;
    output[i] = static_cast<unsigned char>(*state >> 16);
  }
  return 0;
}

TestKey::TestKey() { mbedtls_pk_init(&pk_); }
TestKey::TestKey(TestKey&& other) noexcept : pk_(other.pk_) { mbedtls_pk_init(&other.pk_); }
TestKey::~TestKey() { mbedtls_pk_free(&pk_); }

namespace {

TestKey* MakeEc(TestKey* key, mbedtls_ecp_group_id curve, size_t scalarLength, uint8_t seed) {
  EXPECT_EQ(mbedtls_pk_setup(key->pk(), mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY)), 0);
  mbedtls_ecp_keypair* pair = mbedtls_pk_ec(*key->pk());
  EXPECT_EQ(mbedtls_ecp_group_load(&pair->grp, curve), 0);
  std::vector<uint8_t> scalar(scalarLength);
  for (size_t i = 0; i < scalarLength; ++i) scalar[i] = static_cast<uint8_t>(seed + i);
  scalar[0] &= 0x7F;  // below the group order
  EXPECT_EQ(mbedtls_mpi_read_binary(&pair->d, scalar.data(), scalar.size()), 0);
  EXPECT_EQ(mbedtls_ecp_mul(&pair->grp, &pair->Q, &pair->d, &pair->grp.G, TestRandom, nullptr), 0);
  return key;
}

}  // namespace

TestKey TestKey::P256(uint8_t seed) {
  TestKey key;
  MakeEc(&key, MBEDTLS_ECP_DP_SECP256R1, 32, seed);
  return key;
}

TestKey TestKey::P384(uint8_t seed) {
  TestKey key;
  MakeEc(&key, MBEDTLS_ECP_DP_SECP384R1, 48, seed);
  return key;
}

TestKey TestKey::RsaPublic() {
  TestKey key;
  EXPECT_EQ(mbedtls_pk_setup(key.pk(), mbedtls_pk_info_from_type(MBEDTLS_PK_RSA)), 0);
  // Any odd 1024-bit modulus serves: only the public key is written.
  uint8_t modulus[128];
  for (size_t i = 0; i < sizeof modulus; ++i) modulus[i] = static_cast<uint8_t>(0xC3 + 7 * i);
  modulus[0] = 0xC3;
  modulus[sizeof modulus - 1] |= 1;
  const uint8_t exponent[] = {0x01, 0x00, 0x01};
  mbedtls_rsa_context* rsa = mbedtls_pk_rsa(*key.pk());
  EXPECT_EQ(mbedtls_rsa_import_raw(rsa, modulus, sizeof modulus, nullptr, 0, nullptr, 0, nullptr, 0,
                                   exponent, sizeof exponent),
            0);
  EXPECT_EQ(mbedtls_rsa_complete(rsa), 0);
  return key;
}

std::vector<uint8_t> TestKey::PublicPoint() {
  mbedtls_ecp_keypair* pair = mbedtls_pk_ec(pk_);
  uint8_t point[133];
  size_t length = 0;
  EXPECT_EQ(mbedtls_ecp_point_write_binary(&pair->grp, &pair->Q, MBEDTLS_ECP_PF_UNCOMPRESSED,
                                           &length, point, sizeof point),
            0);
  return std::vector<uint8_t>(point, point + length);
}

std::vector<uint8_t> TestKey::Sign(const std::vector<uint8_t>& data) {
  uint8_t hash[32];
  mbedtls_sha256_ret(data.data(), data.size(), hash, 0);
  uint8_t signature[MBEDTLS_PK_SIGNATURE_MAX_SIZE];
  size_t length = 0;
  EXPECT_EQ(mbedtls_pk_sign(&pk_, MBEDTLS_MD_SHA256, hash, sizeof hash, signature, &length,
                            TestRandom, nullptr),
            0);
  return std::vector<uint8_t>(signature, signature + length);
}

void TestKey::SignRaw(const std::vector<uint8_t>& data, uint8_t r[32], uint8_t s[32]) {
  uint8_t hash[32];
  mbedtls_sha256_ret(data.data(), data.size(), hash, 0);
  mbedtls_ecp_keypair* pair = mbedtls_pk_ec(pk_);
  mbedtls_mpi mr, ms;
  mbedtls_mpi_init(&mr);
  mbedtls_mpi_init(&ms);
  EXPECT_EQ(mbedtls_ecdsa_sign_det_ext(&pair->grp, &mr, &ms, &pair->d, hash, sizeof hash,
                                       MBEDTLS_MD_SHA256, TestRandom, nullptr),
            0);
  mbedtls_mpi_write_binary(&mr, r, 32);
  mbedtls_mpi_write_binary(&ms, s, 32);
  mbedtls_mpi_free(&mr);
  mbedtls_mpi_free(&ms);
}

std::vector<uint8_t> MakeCertificate(const CertificateRecipe& recipe, TestKey& subjectKey,
                                     TestKey& issuerKey) {
  mbedtls_x509write_cert writer;
  mbedtls_x509write_crt_init(&writer);
  mbedtls_x509write_crt_set_version(&writer, recipe.version - 1);
  mbedtls_mpi serial;
  mbedtls_mpi_init(&serial);
  mbedtls_mpi_read_binary(&serial, recipe.serial.data(), recipe.serial.size());
  EXPECT_EQ(mbedtls_x509write_crt_set_serial(&writer, &serial), 0);
  mbedtls_mpi_free(&serial);
  EXPECT_EQ(mbedtls_x509write_crt_set_validity(&writer, recipe.notBefore.c_str(),
                                               recipe.notAfter.c_str()),
            0);
  EXPECT_EQ(mbedtls_x509write_crt_set_subject_name(&writer, recipe.subject.c_str()), 0);
  EXPECT_EQ(mbedtls_x509write_crt_set_issuer_name(&writer, recipe.issuer.c_str()), 0);
  mbedtls_x509write_crt_set_subject_key(&writer, subjectKey.pk());
  mbedtls_x509write_crt_set_issuer_key(&writer, issuerKey.pk());
  mbedtls_x509write_crt_set_md_alg(&writer, MBEDTLS_MD_SHA256);
  for (const CertificateRecipe::Extension& extension : recipe.extensions) {
    EXPECT_EQ(
        mbedtls_x509write_crt_set_extension(&writer, extension.oid.data(), extension.oid.size(), 0,
                                            extension.value.data(), extension.value.size()),
        0);
  }
  uint8_t buffer[4096];
  const int length = mbedtls_x509write_crt_der(&writer, buffer, sizeof buffer, TestRandom, nullptr);
  mbedtls_x509write_crt_free(&writer);
  EXPECT_GT(length, 0);
  if (length <= 0) return {};
  return std::vector<uint8_t>(buffer + sizeof buffer - length, buffer + sizeof buffer);
}
