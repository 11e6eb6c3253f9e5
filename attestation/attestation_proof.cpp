#include "attestation/attestation_proof.h"

#include "attestation/signature_verify.h"
#include "attestation/x509_facts.h"

namespace {

constexpr uint8_t kFlagAttestedData = 0x40;
constexpr uint32_t kFlagsOffset = 32;
constexpr uint32_t kAaguidOffset = 37;
constexpr uint32_t kAaguidLength = 16;
constexpr int64_t kEs256 = -7;

struct Proof {
  AttestationSignature signature;
  std::string problem;
};

Proof Unsupported(std::string problem) {
  return {AttestationSignature::kUnsupported, std::move(problem)};
}

Proof CheckWithCertificateKey(const uint8_t* certificate, uint32_t certificateLength,
                              const uint8_t* signedData, uint32_t signedLength,
                              const uint8_t* signature, uint32_t signatureLength) {
  X509Facts facts;
  if (!ReadX509Facts(certificate, certificateLength, facts)) {
    return Unsupported("the attestation certificate cannot be read");
  }
  if (!facts.publicKeyIsP256) {
    return Unsupported("the certificate's key is not a P-256 key, which is not checked");
  }
  // A compressed point is a P-256 key all the same, but not one we read.
  if (facts.publicKey.size() != 65 || facts.publicKey[0] != 0x04) {
    return Unsupported(
        "the certificate's P-256 key is not an uncompressed point, which is not "
        "checked");
  }
  const int result = VerifyP256Signature(facts.publicKey.data(), 65, signedData, signedLength,
                                         signature, signatureLength);
  return {result == 0 ? AttestationSignature::kValid : AttestationSignature::kInvalid, {}};
}

void Keep(QuillmarkModel& model, Proof proof) {
  model.attestationSignature = proof.signature;
  model.attestationSignatureProblem = std::move(proof.problem);
}

}  // namespace

std::string AuthDataAaguid(const uint8_t* authData, uint32_t length) {
  if (authData == nullptr || length < kAaguidOffset + kAaguidLength ||
      (authData[kFlagsOffset] & kFlagAttestedData) == 0) {
    return {};
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint32_t i = kAaguidOffset; i < kAaguidOffset + kAaguidLength; ++i) {
    hex += kDigits[authData[i] >> 4];
    hex += kDigits[authData[i] & 0x0F];
  }
  return hex;
}

void RecordFido2Proof(QuillmarkModel& model, const MakeCredentialAnswer& answer,
                      const uint8_t* leaf, uint32_t leafLength, const uint8_t* signedData,
                      uint32_t signedLength) {
  model.attestationAuthDataAaguid = AuthDataAaguid(answer.authData, answer.authDataLength);
  if (answer.format != "packed") {
    Keep(model,
         Unsupported(answer.format.empty() ? "the key's answer names no attestation format"
                                           : "the key answered in attestation format \"" +
                                                 answer.format + "\", which is not checked"));
    return;
  }
  using Alg = MakeCredentialAnswer::Alg;
  if (answer.algForm == Alg::kNotInteger) {
    Keep(model, Unsupported("the key's signature algorithm is not a number"));
    return;
  }
  if (answer.algForm == Alg::kInteger && answer.alg != kEs256) {
    Keep(model, Unsupported("the key signed with algorithm " + std::to_string(answer.alg) +
                            ", which is not checked"));
    return;
  }
  Keep(model, CheckWithCertificateKey(leaf, leafLength, signedData, signedLength, answer.signature,
                                      answer.signatureLength));
}

void RecordU2fProof(QuillmarkModel& model, const uint8_t* certificate, uint32_t certificateLength,
                    const uint8_t* signedData, uint32_t signedLength, const uint8_t* signature,
                    uint32_t signatureLength) {
  model.attestationAuthDataAaguid.clear();
  Keep(model, CheckWithCertificateKey(certificate, certificateLength, signedData, signedLength,
                                      signature, signatureLength));
}
