// ShowCertificate on arbitrary certificate and signature bytes. Layout of an
// input:
//   byte 0       bit 0: U2F tab, else FIDO2; bit 1: aaguidText empty
//   bytes 1-2    signature length n (big-endian, cut to what remains)
//   n bytes      the DER signature
//   the rest     the certificate
// Each part lives in a heap block of exactly its size, so a read past any of
// them trips AddressSanitizer. The temporary files are deleted after every
// input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "attestation/certificate_display.h"
#include "attestation/tab_state.h"
#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"

namespace {

class SilentPrompt : public UserPrompt {
 public:
  void Message(const std::string&, PromptIcon, bool) override {}
  bool Confirm(const std::string&) override { return true; }
  bool AskPin(std::string* pin) override {
    pin->clear();
    return false;
  }
};

std::unique_ptr<uint8_t[]> Copy(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 65536) return 0;
  const uint8_t flags = data[0];
  size_t signatureLength = static_cast<size_t>(data[1] << 8 | data[2]);
  data += 3;
  size -= 3;
  if (signatureLength > size) signatureLength = size;
  const size_t certificateLength = size - signatureLength;
  std::unique_ptr<uint8_t[]> signature = Copy(data, signatureLength);
  std::unique_ptr<uint8_t[]> certificate = Copy(data + signatureLength, certificateLength);
  static const uint8_t kSignedData[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  std::unique_ptr<uint8_t[]> signedData = Copy(kSignedData, sizeof kSignedData);

  QuillmarkModel model;
  if ((flags & 2) == 0) model.aaguidText = "000102030405060708090A0B0C0D0E0F";
  SilentPrompt prompt;
  const CertificateRowOptions& options =
      (flags & 1) ? U2F_CERTIFICATE_OPTIONS : FIDO2_CERTIFICATE_OPTIONS;
  const int result =
      ShowCertificate(model, options, signedData.get(), sizeof kSignedData, signature.get(),
                      static_cast<uint32_t>(signatureLength), certificate.get(),
                      static_cast<uint32_t>(certificateLength), prompt);
  const ReportList& list = CertificateList(model, options.tab);
  // A shown certificate has at least its seven fixed rows.
  if (result == 0 && list.RowCount() < 7) __builtin_trap();
  if (result == 1 && list.RowCount() != (options.blankSeparatorRow ? 1u : 0u)) __builtin_trap();
  DeleteAllCertificateFiles(model);
  return 0;
}
