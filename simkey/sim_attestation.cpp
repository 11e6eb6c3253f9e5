#include "simkey/sim_attestation.h"

#include <mbedtls/bignum.h>
#include <mbedtls/x509_crt.h>

#include <iterator>
#include <utility>

#include "simkey/sim_crypto.h"
#include "simkey/sim_default_key.h"

namespace {

constexpr char kLeafName[] =
    "C=US,O=Simulated Key Maker,OU=Authenticator Attestation,CN=Simulated Key Attestation";
constexpr char kIntermediateName[] =
    "C=US,O=Simulated Key Maker,CN=Simulated Key Maker Intermediate CA";
constexpr char kRootName[] = "C=US,O=Simulated Key Maker,CN=Simulated Key Maker Root CA";
constexpr char kLegacyName[] = "C=US,O=Simulated Key Maker,CN=Simulated Key Maker Legacy Root CA";

// Extension OIDs, DER content bytes.
constexpr char kTransportsOid[] = "\x2B\x06\x01\x04\x01\x82\xE5\x1C\x02\x01\x01";
constexpr char kAaguidOid[] = "\x2B\x06\x01\x04\x01\x82\xE5\x1C\x01\x01\x04";

struct CertificateOrder {
  const char* subject;
  const char* issuer;
  SimEcKey* subjectKey;
  SimEcKey* issuerKey;
  std::vector<uint8_t> serial;
  bool ca;
  int pathLength;  // CA only; -1 for no limit
  bool fidoExtensions;
};

bool Ok(int result) { return result == 0; }

std::vector<uint8_t> Issue(const CertificateOrder& order, SimRandom& random) {
  mbedtls_x509write_cert writer;
  mbedtls_mpi serial;
  mbedtls_x509write_crt_init(&writer);
  mbedtls_mpi_init(&serial);
  mbedtls_x509write_crt_set_version(&writer, MBEDTLS_X509_CRT_VERSION_3);
  mbedtls_x509write_crt_set_md_alg(&writer, MBEDTLS_MD_SHA256);
  mbedtls_x509write_crt_set_subject_key(&writer, order.subjectKey->pk());
  mbedtls_x509write_crt_set_issuer_key(&writer, order.issuerKey->pk());

  std::vector<uint8_t> aaguidValue = {0x04, 0x10};
  aaguidValue.insert(aaguidValue.end(), std::begin(SIMKEY_DEFAULT_AAGUID),
                     std::end(SIMKEY_DEFAULT_AAGUID));
  bool ok = Ok(mbedtls_mpi_read_binary(&serial, order.serial.data(), order.serial.size())) &&
            Ok(mbedtls_x509write_crt_set_serial(&writer, &serial)) &&
            Ok(mbedtls_x509write_crt_set_validity(&writer, "20240101000000", "20491231235959")) &&
            Ok(mbedtls_x509write_crt_set_subject_name(&writer, order.subject)) &&
            Ok(mbedtls_x509write_crt_set_issuer_name(&writer, order.issuer)) &&
            Ok(mbedtls_x509write_crt_set_basic_constraints(&writer, order.ca ? 1 : 0,
                                                           order.pathLength)) &&
            Ok(mbedtls_x509write_crt_set_subject_key_identifier(&writer)) &&
            Ok(mbedtls_x509write_crt_set_authority_key_identifier(&writer));
  if (ok && order.ca) {
    ok = Ok(mbedtls_x509write_crt_set_key_usage(
        &writer, MBEDTLS_X509_KU_KEY_CERT_SIGN | MBEDTLS_X509_KU_CRL_SIGN));
  }
  if (ok && order.fidoExtensions) {
    ok = Ok(mbedtls_x509write_crt_set_extension(&writer, kTransportsOid, sizeof kTransportsOid - 1,
                                                0, SIMKEY_TRANSPORTS_EXTENSION,
                                                sizeof SIMKEY_TRANSPORTS_EXTENSION)) &&
         Ok(mbedtls_x509write_crt_set_extension(&writer, kAaguidOid, sizeof kAaguidOid - 1, 0,
                                                aaguidValue.data(), aaguidValue.size()));
  }
  std::vector<uint8_t> der;
  if (ok) {
    // The writer fills the buffer from its end.
    std::vector<uint8_t> buffer(4096);
    const int length = mbedtls_x509write_crt_der(&writer, buffer.data(), buffer.size(),
                                                 SimRandom::Generate, &random);
    if (length > 0) der.assign(buffer.end() - length, buffer.end());
  }
  mbedtls_mpi_free(&serial);
  mbedtls_x509write_crt_free(&writer);
  return der;
}

struct Store {
  SimRandom random{"simkey attestation"};
  SimEcKey legacy, root, intermediate, leaf;
  SimAttestationMaterial material;

  Store() {
    if (!legacy.Generate(random) || !root.Generate(random) || !intermediate.Generate(random) ||
        !leaf.Generate(random)) {
      return;
    }
    const CertificateOrder orders[] = {
        {kLeafName, kIntermediateName, &leaf, &intermediate,
         std::vector<uint8_t>(std::begin(SIMKEY_ATTESTATION_SERIAL),
                              std::end(SIMKEY_ATTESTATION_SERIAL)),
         false, -1, true},
        {kIntermediateName, kRootName, &intermediate, &root, {0x10, 0x02}, true, 0, false},
        {kRootName, kRootName, &root, &root, {0x10, 0x01}, true, -1, false},
        {kRootName, kLegacyName, &root, &legacy, {0x10, 0x03}, true, -1, false},
    };
    std::vector<std::vector<uint8_t>> chain;
    for (const CertificateOrder& order : orders) {
      chain.push_back(Issue(order, random));
      if (chain.back().empty()) return;
    }
    material.chain = std::move(chain);
    material.attestationPublicKey = leaf.PublicKey();
  }
};

Store& TheStore() {
  static Store store;
  return store;
}

}  // namespace

const SimAttestationMaterial& SimAttestation() { return TheStore().material; }

std::vector<uint8_t> SimAttestationSign(const std::vector<uint8_t>& data,
                                        const std::vector<uint8_t>& privateKey) {
  Store& store = TheStore();
  if (privateKey.empty()) return store.leaf.Sign(data, store.random);
  SimEcKey custom;
  if (!custom.FromScalar(privateKey, store.random)) return {};
  return custom.Sign(data, store.random);
}

std::vector<uint8_t> SimCorruptCertificate(std::vector<uint8_t> der) {
  // 30 82 LL LL | 30 82 ... (TBSCertificate): the inner tag and length go.
  for (size_t i = 4; i < der.size() && i < 8; ++i) der[i] = 0xFF;
  return der;
}
