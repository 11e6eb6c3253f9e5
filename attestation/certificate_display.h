// An attestation certificate -> a block of rows on a certification tab, a
// temporary .cer file, the AAGUID check and the signature check.
#pragma once

#include <cstdint>

#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"

enum class CertificateTab { kFido2, kU2f };

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

// Answers 0 when shown, 1 after the failure message.
int ShowCertificate(QuillmarkModel& model, const CertificateRowOptions& options,
                    const uint8_t* signedData, uint32_t signedLength, const uint8_t* signature,
                    uint32_t signatureLength, const uint8_t* certificate,
                    uint32_t certificateLength, UserPrompt& prompt);
