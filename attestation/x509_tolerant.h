// A DER X.509 certificate read with the ASN.1 functions alone, for the
// certificates that the full mbedTLS parse refuses: keys and signature
// algorithms it does not know (Ed25519), or extensions it will not accept.
// The structure is checked element by element against the bytes; the
// algorithms, the signature and the meaning of the extensions are not.
#pragma once

#include <cstdint>

#include "attestation/x509_facts.h"

// False when the bytes are not a DER certificate; `facts` is then unchanged.
bool ReadX509FactsTolerant(const uint8_t* der, uint32_t length, X509Facts& facts);
