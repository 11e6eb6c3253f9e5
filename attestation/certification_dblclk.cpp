// Double-clicks on the certification lists: the hint row starts a fetch, a
// certificate's "Base64 encode" row opens that certificate.
#include "attestation/certificate_fetch.h"
#include "attestation/temp_cert_file.h"

namespace {

std::string ItemText(const ReportList& list, int row) {
  return row < 0 ? std::string() : list.Cell(static_cast<size_t>(row), 0);
}

}  // namespace

void OnDblClkFido2List(QuillmarkModel& model, int row, UserPrompt& prompt, Opener& opener) {
  const std::string item = ItemText(model.fido2List, row);
  if (item == "Tips") {
    FetchFido2Certificates(model, prompt);
  } else if (item == "Base64 encode") {
    OpenCertificateFromRow(model.fido2List, row, model, CertificateTab::kFido2, opener);
  }
}

void OnDblClkU2fList(QuillmarkModel& model, int row, UserPrompt& prompt, Opener& opener,
                     KeyClock& clock) {
  const std::string item = ItemText(model.u2fList, row);
  if (item == "Base64 encode") {
    OpenCertificateFromRow(model.u2fList, row, model, CertificateTab::kU2f, opener);
  } else if (item == "Tips") {
    FetchU2fCertificate(model, prompt, clock);
  }
}
