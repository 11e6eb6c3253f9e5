// Test keys and certificates made with the mbedTLS certificate writer, so
// each test states the facts it checks.
#pragma once

#include <mbedtls/pk.h>

#include <cstdint>
#include <string>
#include <vector>

// A key pair from a fixed scalar (P-256, P-384), or an RSA public key.
class TestKey {
 public:
  static TestKey P256(uint8_t seed);
  static TestKey P384(uint8_t seed);
  static TestKey RsaPublic();
  TestKey(TestKey&& other) noexcept;
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;
  ~TestKey();

  mbedtls_pk_context* pk() { return &pk_; }
  // The uncompressed point 04 || x || y of an EC key.
  std::vector<uint8_t> PublicPoint();
  // The DER ECDSA signature of SHA-256(data).
  std::vector<uint8_t> Sign(const std::vector<uint8_t>& data);
  // The raw r and s (32 bytes each) of the deterministic signature of
  // SHA-256(data) (P-256 only).
  void SignRaw(const std::vector<uint8_t>& data, uint8_t r[32], uint8_t s[32]);

 private:
  TestKey();
  mbedtls_pk_context pk_;
};

struct CertificateRecipe {
  int version = 3;
  std::vector<uint8_t> serial = {0x01, 0x02, 0x03};
  std::string subject = "C=US,O=Quillmark Test,OU=Authenticator Attestation,CN=Test Key 1";
  std::string issuer = "C=US,O=Quillmark Test,CN=Quillmark Test Root";
  std::string notBefore = "20200102030405";  // UTC, YYYYMMDDhhmmss
  std::string notAfter = "20300102030405";
  struct Extension {
    std::string oid;  // encoded OID content
    std::vector<uint8_t> value;
  };
  std::vector<Extension> extensions;
};

extern const char kTransportsOid[];  // 1.3.6.1.4.1.45724.2.1.1, encoded
extern const char kAaguidOid[];      // 1.3.6.1.4.1.45724.1.1.4, encoded

// The DER certificate of `subjectKey`, signed by `issuerKey` (an EC key).
std::vector<uint8_t> MakeCertificate(const CertificateRecipe& recipe, TestKey& subjectKey,
                                     TestKey& issuerKey);

// Fixed-seed generator for the writer and the signatures.
int TestRandom(void* context, unsigned char* output, size_t length);
