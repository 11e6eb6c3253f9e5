// The host's side of the key's cryptography for tests, written on mbedTLS
// directly: PIN protocol 1, signature checks and certificate parsing.
#pragma once

#include <mbedtls/aes.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdh.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/md.h>
#include <mbedtls/sha256.h>
#include <mbedtls/x509_crt.h>

#include <algorithm>
#include <string>

#include "tests/simkey/sim_host.h"

inline Bytes Sha256(const Bytes& data) {
  Bytes hash(32);
  mbedtls_sha256_ret(data.data(), data.size(), hash.data(), 0);
  return hash;
}

inline Bytes HmacSha256(const Bytes& key, const Bytes& data) {
  Bytes mac(32);
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key.data(), key.size(), data.data(),
                  data.size(), mac.data());
  return mac;
}

// AES-256-CBC with a zero IV over whole blocks.
inline Bytes AesCbc(const Bytes& key, const Bytes& data, bool encrypt) {
  Bytes out(data.size());
  unsigned char iv[16] = {};
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  if (encrypt) {
    mbedtls_aes_setkey_enc(&aes, key.data(), 256);
  } else {
    mbedtls_aes_setkey_dec(&aes, key.data(), 256);
  }
  mbedtls_aes_crypt_cbc(&aes, encrypt ? MBEDTLS_AES_ENCRYPT : MBEDTLS_AES_DECRYPT, data.size(), iv,
                        data.data(), out.data());
  mbedtls_aes_free(&aes);
  return out;
}

inline int HostEntropy(void*, unsigned char* out, size_t length) {
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(i * 7 + 1);
  return 0;
}

// The platform half of one key agreement: a fresh key, its public point and
// the shared secret SHA-256(x of d * peer).
struct HostAgreement {
  Bytes x, y, sharedSecret;
};

inline bool HostAgree(const Bytes& peerX, const Bytes& peerY, HostAgreement& out) {
  mbedtls_ctr_drbg_context drbg;
  mbedtls_ecp_group group;
  mbedtls_mpi d, z;
  mbedtls_ecp_point q, peer;
  mbedtls_ctr_drbg_init(&drbg);
  mbedtls_ecp_group_init(&group);
  mbedtls_mpi_init(&d);
  mbedtls_mpi_init(&z);
  mbedtls_ecp_point_init(&q);
  mbedtls_ecp_point_init(&peer);
  Bytes shared(32);
  out.x.assign(32, 0);
  out.y.assign(32, 0);
  const bool ok =
      mbedtls_ctr_drbg_seed(&drbg, HostEntropy, nullptr, nullptr, 0) == 0 &&
      mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
      mbedtls_ecdh_gen_public(&group, &d, &q, mbedtls_ctr_drbg_random, &drbg) == 0 &&
      mbedtls_mpi_write_binary(&q.X, out.x.data(), 32) == 0 &&
      mbedtls_mpi_write_binary(&q.Y, out.y.data(), 32) == 0 &&
      mbedtls_mpi_read_binary(&peer.X, peerX.data(), peerX.size()) == 0 &&
      mbedtls_mpi_read_binary(&peer.Y, peerY.data(), peerY.size()) == 0 &&
      mbedtls_mpi_lset(&peer.Z, 1) == 0 &&
      mbedtls_ecdh_compute_shared(&group, &z, &peer, &d, mbedtls_ctr_drbg_random, &drbg) == 0 &&
      mbedtls_mpi_write_binary(&z, shared.data(), 32) == 0;
  if (ok) out.sharedSecret = Sha256(shared);
  mbedtls_ecp_point_free(&peer);
  mbedtls_ecp_point_free(&q);
  mbedtls_mpi_free(&z);
  mbedtls_mpi_free(&d);
  mbedtls_ecp_group_free(&group);
  mbedtls_ctr_drbg_free(&drbg);
  return ok;
}

// ECDSA P-256 over SHA-256(data) with an uncompressed point 04|x|y.
inline bool VerifyP256(const Bytes& point, const Bytes& data, const Bytes& signature) {
  mbedtls_ecdsa_context ecdsa;
  mbedtls_ecdsa_init(&ecdsa);
  const Bytes hash = Sha256(data);
  const bool ok =
      mbedtls_ecp_group_load(&ecdsa.grp, MBEDTLS_ECP_DP_SECP256R1) == 0 &&
      mbedtls_ecp_point_read_binary(&ecdsa.grp, &ecdsa.Q, point.data(), point.size()) == 0 &&
      mbedtls_ecdsa_read_signature(&ecdsa, hash.data(), hash.size(), signature.data(),
                                   signature.size()) == 0;
  mbedtls_ecdsa_free(&ecdsa);
  return ok;
}

// One parsed DER certificate.
class HostCertificate {
 public:
  HostCertificate() { mbedtls_x509_crt_init(&crt_); }
  ~HostCertificate() { mbedtls_x509_crt_free(&crt_); }
  HostCertificate(const HostCertificate&) = delete;
  HostCertificate& operator=(const HostCertificate&) = delete;

  bool Parse(const Bytes& der) {
    return mbedtls_x509_crt_parse_der(&crt_, der.data(), der.size()) == 0;
  }
  const mbedtls_x509_crt& crt() const { return crt_; }
  mbedtls_x509_crt* mutableCrt() { return &crt_; }

  std::string Subject() const { return Name(crt_.subject); }
  std::string Issuer() const { return Name(crt_.issuer); }
  // 65 bytes 04|x|y; empty for a key that is not EC.
  Bytes PublicKey() const {
    if (mbedtls_pk_get_type(&crt_.pk) != MBEDTLS_PK_ECKEY) return {};
    const mbedtls_ecp_keypair* pair = mbedtls_pk_ec(crt_.pk);
    Bytes point(65);
    size_t length = 0;
    mbedtls_ecp_point_write_binary(&pair->grp, &pair->Q, MBEDTLS_ECP_PF_UNCOMPRESSED, &length,
                                   point.data(), point.size());
    point.resize(length);
    return point;
  }

 private:
  static std::string Name(const mbedtls_x509_name& name) {
    char text[512] = {};
    mbedtls_x509_dn_gets(text, sizeof text, &name);
    return text;
  }
  mbedtls_x509_crt crt_;
};

// The content of a certificate extension found by its OID's DER content
// bytes: the bytes inside its extnValue OCTET STRING. Empty when absent.
inline Bytes ExtensionValue(const Bytes& der, const Bytes& oid) {
  Bytes needle = {0x06, static_cast<uint8_t>(oid.size())};
  needle.insert(needle.end(), oid.begin(), oid.end());
  auto found = std::search(der.begin(), der.end(), needle.begin(), needle.end());
  if (found == der.end()) return {};
  size_t pos = static_cast<size_t>(found - der.begin()) + needle.size();
  if (pos + 2 <= der.size() && der[pos] == 0x01) pos += 3;  // critical BOOLEAN
  if (pos + 2 > der.size() || der[pos] != 0x04 || pos + 2 + der[pos + 1] > der.size()) return {};
  return Bytes(der.begin() + static_cast<long>(pos + 2),
               der.begin() + static_cast<long>(pos + 2 + der[pos + 1]));
}
