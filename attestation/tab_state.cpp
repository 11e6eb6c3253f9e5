#include "attestation/tab_state.h"

#include <cstdio>

const char* const TIPS_CAPTION = "Tips";
const char* const TIPS_TEXT =
    "Double click and press button/verify fingerprint to fetch certifications!";

void ShowFido2Tips(QuillmarkModel& model) { model.fido2List.AppendRow(TIPS_CAPTION, TIPS_TEXT); }

void ShowU2fTips(QuillmarkModel& model) {
  model.u2fList.AppendRow(TIPS_CAPTION, TIPS_TEXT);
  model.u2fList.AppendRow(" ", " ");
}

namespace {

// A file that is already gone is no error; each path is tried once.
void DeleteFiles(std::vector<std::string>& files) {
  for (const std::string& path : files) std::remove(path.c_str());
  files.clear();
}

}  // namespace

void ClearAttestationEvidence(QuillmarkModel& model) {
  model.attestationChain.clear();
  model.attestationSignature = AttestationSignature::kNotChecked;
  model.attestationSignatureProblem.clear();
  model.attestationAuthDataAaguid.clear();
}

void ClearFido2Certificates(QuillmarkModel& model) {
  model.fido2List.Clear();
  DeleteFiles(model.fido2CertFiles);
  if (!model.attestationFromU2f) ClearAttestationEvidence(model);
}

void ClearU2fCertificates(QuillmarkModel& model) {
  model.u2fList.Clear();
  DeleteFiles(model.u2fCertFiles);
  if (model.attestationFromU2f) ClearAttestationEvidence(model);
}

void DeleteAllCertificateFiles(QuillmarkModel& model) {
  DeleteFiles(model.fido2CertFiles);
  DeleteFiles(model.u2fCertFiles);
}

ReportList& CertificateList(QuillmarkModel& model, CertificateTab tab) {
  return tab == CertificateTab::kFido2 ? model.fido2List : model.u2fList;
}

std::string& CertificateFileMember(QuillmarkModel& model, CertificateTab tab) {
  return tab == CertificateTab::kFido2 ? model.fido2CertFile : model.u2fCertFile;
}

std::vector<std::string>& CertificateFiles(QuillmarkModel& model, CertificateTab tab) {
  return tab == CertificateTab::kFido2 ? model.fido2CertFiles : model.u2fCertFiles;
}
