// What a fetch's answer proved with its leaf certificate's key, kept in the
// model for the metadata verdict: the attestation signature checked whatever
// the leaf's subject says, and the AAGUID the authenticator data attests.
#pragma once

#include <cstdint>
#include <string>

#include "attestation/make_credential_answer.h"
#include "keyinfo/quillmark_model.h"

// FIDO2: `leaf` is x5c[0]; `signedData` is authData || the client data hash
// that was sent. Sets attestationSignature, attestationSignatureProblem and
// attestationAuthDataAaguid.
void RecordFido2Proof(QuillmarkModel& model, const MakeCredentialAnswer& answer,
                      const uint8_t* leaf, uint32_t leafLength, const uint8_t* signedData,
                      uint32_t signedLength);

// U2F: the registration signature with the certificate's key over the
// registration's signed data (which holds the challenge that was sent).
void RecordU2fProof(QuillmarkModel& model, const uint8_t* certificate, uint32_t certificateLength,
                    const uint8_t* signedData, uint32_t signedLength, const uint8_t* signature,
                    uint32_t signatureLength);

// The AAGUID of the attested credential data (bytes 37..52 when flag AT is
// set) as 32 lowercase hex digits; empty when there is none.
std::string AuthDataAaguid(const uint8_t* authData, uint32_t length);
