// An attestation certificate -> a block of rows on a certification tab, a
// temporary .cer file, the AAGUID check and the signature check.
#pragma once

#include <cstdint>
#include <string>

#include "attestation/tab_state.h"
#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"

struct CertificateRowOptions {
  CertificateTab tab;
  bool blankSeparatorRow;
  const char* failureText;
  // Verify only when the "User" text contains "Attestation"; else always.
  bool verifyOnlyAttestationSubject;
  // Verify with the first 65 bytes of the public key; else the whole key.
  bool publicKeyFirst65;
};

extern const CertificateRowOptions FIDO2_CERTIFICATE_OPTIONS;
extern const CertificateRowOptions U2F_CERTIFICATE_OPTIONS;

extern const char* const AAGUID_MISMATCH_TEXT;
extern const char* const TRANSPORTS_EXTENSION_OID;  // FIDO U2F transports
extern const char* const AAGUID_EXTENSION_OID;      // FIDO AAGUID

// Answers 0 when shown, 1 after the failure message.
int ShowCertificate(QuillmarkModel& model, const CertificateRowOptions& options,
                    const uint8_t* signedData, uint32_t signedLength, const uint8_t* signature,
                    uint32_t signatureLength, const uint8_t* certificate,
                    uint32_t certificateLength, UserPrompt& prompt);

// Each byte as "%02X " (so the text ends with a space).
std::string SpacedHex(const uint8_t* bytes, size_t count);

// The names of the transport bits in `bits` as "( USB, NFC )"; empty when no
// named bit is set.
std::string TransportNames(uint8_t bits);
