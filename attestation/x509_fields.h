// The parts of a DER certificate that both certificate readers (the full
// mbedTLS parse and the tolerant ASN.1 reader) turn into facts the same way.
#pragma once

#include <mbedtls/asn1.h>
#include <mbedtls/x509.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "attestation/x509_facts.h"

// One AttributeTypeAndValue of a Name; both buffers point into the certificate.
struct X509NameAttribute {
  mbedtls_asn1_buf type;   // OBJECT IDENTIFIER content
  mbedtls_asn1_buf value;  // the value's tag and content
};

// The attribute values in their encoded order, joined by ", ".
std::string NameValuesText(const std::vector<X509NameAttribute>& name);

// The first common name, else organizational unit, organization or e-mail
// address; empty when the name has none of them.
std::string NameDisplayText(const std::vector<X509NameAttribute>& name);

CertificateTime FromX509Time(const mbedtls_x509_time& time);

// The SubjectPublicKeyInfo element (head included) -> `publicKey` and
// `publicKeyIsP256`. False when it is malformed.
bool ReadSubjectPublicKey(const uint8_t* info, size_t length, X509Facts& facts);

// The Extensions SEQUENCE, bare or in its [3] wrapper -> `extensions`, in
// encoded order. Nothing (length 0) is no extensions; false when malformed.
bool ReadExtensions(const uint8_t* data, size_t length,
                    std::vector<CertificateExtension>& extensions);
