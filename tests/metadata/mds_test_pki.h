// Test roots, signers and metadata files made with mbedTLS: the tests build
// every BLOB they check, signed RS256 or ES256 under a root of their own.
#pragma once

#include <mbedtls/pk.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "metadata/compact_jws.h"
#include "simkey/sim_crypto.h"

class TestKey {
 public:
  TestKey();
  ~TestKey();
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  bool GenerateEc(SimRandom& random);  // P-256
  bool LoadRsa();                      // a fixed RSA-2048 key
  mbedtls_pk_context* pk() { return &pk_; }

 private:
  mbedtls_pk_context pk_;
};

struct CertificateOrder {
  std::string subject;  // "C=US,O=...,CN=..."
  std::string issuer;
  TestKey* subjectKey;
  TestKey* issuerKey;
  std::string notBefore;  // "YYYYMMDDhhmmss"
  std::string notAfter;
  bool ca;
  // Key usage bits (MBEDTLS_X509_KU_*); 0: none given, or a CA's usual.
  unsigned keyUsage = 0;
  std::string dnsName = {};               // a DNS subjectAltName, when set
  std::vector<std::string> crlUrls = {};  // CRL distribution points
};

std::vector<uint8_t> IssueCertificate(const CertificateOrder& order, SimRandom& random);

// A v2 CRL signed by `issuerKey` (EC or RSA) in the name of `issuer`,
// listing each of `revoked` as revoked on `revokedOn`; times "YYMMDDhhmmss".
std::vector<uint8_t> IssueCrl(const std::vector<uint8_t>& issuer, TestKey& issuerKey,
                              const std::string& thisUpdate, const std::string& nextUpdate,
                              const std::vector<std::vector<uint8_t>>& revoked,
                              const std::string& revokedOn, SimRandom& random);

std::string Base64UrlOf(const std::string& bytes);
std::string Base64Of(const std::vector<uint8_t>& bytes);

// header.payload.signature; the signature is raw r || s for ES256.
std::string SignCompactJws(const std::string& headerJson, const std::string& payload,
                           JwsAlgorithm algorithm, TestKey& signer, SimRandom& random);

// A test world: a root, an RS256 and an ES256 signer under it (valid
// 2024-01-01 .. 2025-12-31; the root 2020 .. 2040), and a stranger root
// with a signer of the same names.
struct TestMdsWorld {
  SimRandom random{"metadata test world"};
  TestKey rootKey, ecSignerKey, rsaSignerKey, strangerKey, strangerSignerKey;
  std::vector<uint8_t> root, ecSigner, rsaSigner, strangerRoot, strangerSigner;

  TestMdsWorld();
  // The BLOB text of `payload` signed by the chosen signer.
  std::string Blob(const nlohmann::json& payload, JwsAlgorithm algorithm, bool byStranger = false);
  // The BLOB text of `payload` signed ES256 by `signer` (issued under the
  // root, its key `key`), with the root in its chain.
  std::string BlobSignedBy(const nlohmann::json& payload, const std::vector<uint8_t>& signer,
                           TestKey& key);
  std::string RootPem() const;
};

// A payload with no=7, nextUpdate 2024-07-01 and the given entries.
nlohmann::json TestPayload(const nlohmann::json& entries);

// 2024-06-01 00:00:00 UTC, inside every test certificate's validity and
// before the test payload's next update.
extern const int64_t TEST_NOW;

extern const char* const TEST_RSA_KEY_PEM;

// The metadata entry of the simulated key's model: its AAGUID, the given
// attestation root, its description "Simulated Key Model" and the given
// status reports.
nlohmann::json SimulatedModelEntry(const std::vector<uint8_t>& attestationRoot,
                                   const nlohmann::json& statusReports);

// Writes `bytes` to a new file under the test's temporary folder; answers
// its path.
std::string WriteTestFile(const std::string& name, const std::string& bytes);
