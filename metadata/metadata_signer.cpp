#include "metadata/metadata_signer.h"

#include <mbedtls/oid.h>
#include <strings.h>

#include <cstring>

#include "metadata/chain_check.h"

const char* const METADATA_SIGNER_NAME = "mds.fidoalliance.org";

namespace {

bool IsSignerName(const mbedtls_x509_buf& value) {
  return value.len == std::strlen(METADATA_SIGNER_NAME) &&
         strncasecmp(reinterpret_cast<const char*>(value.p), METADATA_SIGNER_NAME, value.len) == 0;
}

bool NamesSigner(const mbedtls_x509_crt& leaf) {
  for (const mbedtls_x509_name* part = &leaf.subject; part != nullptr; part = part->next) {
    if (MBEDTLS_OID_CMP(MBEDTLS_OID_AT_CN, &part->oid) == 0 && IsSignerName(part->val)) return true;
  }
  for (const mbedtls_x509_sequence* name = &leaf.subject_alt_names; name != nullptr;
       name = name->next) {
    if (name->buf.tag == (MBEDTLS_ASN1_CONTEXT_SPECIFIC | MBEDTLS_X509_SAN_DNS_NAME) &&
        IsSignerName(name->buf)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string MetadataSignerProblem(const mbedtls_x509_crt& leaf, bool underBuiltInRoot,
                                  const std::string& rootName) {
  const std::string name = DisplayNameOf(leaf);
  if (underBuiltInRoot && !NamesSigner(leaf)) {
    return "its signer " + name + " is not " + METADATA_SIGNER_NAME +
           ", the only signer trusted under the built-in root " + rootName;
  }
  // No key usage extension allows every use.
  if (mbedtls_x509_crt_check_key_usage(&leaf, MBEDTLS_X509_KU_DIGITAL_SIGNATURE) != 0) {
    return "its signer " + name +
           " may not make digital signatures (its key usage lacks "
           "digitalSignature)";
  }
  return {};
}
