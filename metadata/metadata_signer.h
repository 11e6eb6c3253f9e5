// Who may sign a metadata file. The built-in roots also issue ordinary TLS
// certificates to anyone, so under them only the metadata service's own
// name signs; a root the user names is the user's own choice of signer.
#pragma once

#include <mbedtls/x509_crt.h>

#include <string>

extern const char* const METADATA_SIGNER_NAME;  // "mds.fidoalliance.org"

// Why `leaf` may not sign a metadata file whose chain ends at a built-in
// root (`underBuiltInRoot`) or at a root the user named, as a clause; empty
// when it may. Wildcard names are refused: the real signers carry the exact
// name, and a wildcard is issued for a whole domain's hosts.
std::string MetadataSignerProblem(const mbedtls_x509_crt& leaf, bool underBuiltInRoot,
                                  const std::string& rootName);
