#include "attestation/certificate_display.h"

#include <cstdio>
#include <vector>

#include "attestation/base64.h"
#include "attestation/certificate_time.h"
#include "attestation/signature_verify.h"
#include "attestation/temp_cert_file.h"
#include "attestation/x509_facts.h"
#include "keyinfo/hex_encode.h"

const CertificateRowOptions FIDO2_CERTIFICATE_OPTIONS = {
    CertificateTab::kFido2, true, "Fetch certifications failed2222!", true, false};
const CertificateRowOptions U2F_CERTIFICATE_OPTIONS = {
    CertificateTab::kU2f, false, "Fetch certifications failed6666!", false, true};

const char* const AAGUID_MISMATCH_TEXT =
    "The aagid in the certificate is inconsistent with the hardinfo!";
const char* const TRANSPORTS_EXTENSION_OID = "1.3.6.1.4.1.45724.2.1.1";
const char* const AAGUID_EXTENSION_OID = "1.3.6.1.4.1.45724.1.1.4";

std::string SpacedHex(const uint8_t* bytes, size_t count) {
  std::string text;
  text.reserve(count * 3);
  char cell[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
    text += cell;
  }
  return text;
}

std::string TransportNames(uint8_t bits) {
  static const struct {
    uint8_t bit;
    const char* name;
  } kTransports[] = {
      {0x80, "BluetoothRadio"},
      {0x40, "BluetoothLowEnergyRadio"},
      {0x20, "USB"},
      {0x10, "NFC"},
  };
  std::string names;
  for (const auto& transport : kTransports) {
    if ((bits & transport.bit) == 0) continue;
    if (!names.empty()) names += ", ";
    names += transport.name;
  }
  return names.empty() ? names : "( " + names + " )";
}

namespace {

// The AAGUID extension's value after its OCTET STRING head (04 10) as
// uppercase hex, compared with the key's own AAGUID.
bool AaguidMatches(const std::vector<uint8_t>& value, const std::string& aaguidText) {
  std::string hex;
  if (value.size() > 2) {
    hex.resize((value.size() - 2) * 2);
    HexEncode(hex.data(), hex.size(), value.data() + 2, value.size() - 2);
  }
  return !aaguidText.empty() && hex == aaguidText;
}

bool ShouldVerify(const CertificateRowOptions& options, const X509Facts& facts) {
  return !options.verifyOnlyAttestationSubject ||
         facts.subject.find("Attestation") != std::string::npos;
}

// The attestation signature is ES256: a key that is not a P-256 key (RSA,
// another curve, Ed25519) is never read as a P-256 point and does not verify.
int Verify(const CertificateRowOptions& options, const X509Facts& facts, const uint8_t* signedData,
           uint32_t signedLength, const uint8_t* signature, uint32_t signatureLength) {
  if (!facts.publicKeyIsP256) return -1;
  uint32_t keyLength = static_cast<uint32_t>(facts.publicKey.size());
  // A shorter key is passed whole and refused for its length.
  if (options.publicKeyFirst65 && keyLength > 65) keyLength = 65;
  return VerifyP256Signature(facts.publicKey.data(), keyLength, signedData, signedLength, signature,
                             signatureLength);
}

}  // namespace

int ShowCertificate(QuillmarkModel& model, const CertificateRowOptions& options,
                    const uint8_t* signedData, uint32_t signedLength, const uint8_t* signature,
                    uint32_t signatureLength, const uint8_t* certificate,
                    uint32_t certificateLength, UserPrompt& prompt) {
  ReportList& list = CertificateList(model, options.tab);
  if (options.blankSeparatorRow) list.AppendRow(" ", " ");

  X509Facts facts;
  if (!ReadX509Facts(certificate, certificateLength, facts)) {
    prompt.Message(options.failureText, PromptIcon::kError, true);
    return 1;
  }
  WriteTempCertificateFile(model, options.tab, certificate, certificateLength);

  char version[16];
  std::snprintf(version, sizeof version, "V%X", static_cast<unsigned>(facts.version));
  list.AppendRow("Version", version);
  list.AppendRow("Serial number", SpacedHex(facts.serial.data(), facts.serial.size()));
  list.AppendRow("User", facts.subject);
  list.AppendRow("Issuer", facts.issuerDisplayName);
  list.AppendRow("Validity period", FormatValidityPeriod(facts.notBefore, facts.notAfter));
  list.AppendRow("Public key", SpacedHex(facts.publicKey.data(), facts.publicKey.size()));
  list.AppendRow("Base64 encode", Base64Encode(certificate, certificateLength));

  if (const std::vector<uint8_t>* transports =
          FindExtensionValue(facts, TRANSPORTS_EXTENSION_OID)) {
    std::string text = SpacedHex(transports->data(), transports->size());
    if (!transports->empty()) text += TransportNames(transports->back());
    list.AppendRow(std::string("Extentions(") + TRANSPORTS_EXTENSION_OID + ")", text);
  }
  if (const std::vector<uint8_t>* aaguid = FindExtensionValue(facts, AAGUID_EXTENSION_OID)) {
    list.AppendRow(std::string("Extentions(") + AAGUID_EXTENSION_OID + ")",
                   SpacedHex(aaguid->data(), aaguid->size()));
    if (!AaguidMatches(*aaguid, model.aaguidText)) {
      prompt.Message(AAGUID_MISMATCH_TEXT, PromptIcon::kError, true);
    }
  }

  if (ShouldVerify(options, facts)) {
    const bool valid =
        Verify(options, facts, signedData, signedLength, signature, signatureLength) == 0;
    list.AppendRow("Verify Result", valid ? "YES" : "NO");
  }
  return 0;
}
