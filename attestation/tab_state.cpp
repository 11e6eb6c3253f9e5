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

void ClearTab(ReportList& list, const std::string& certFile) {
  list.Clear();
  // The stored path stays: a second clearing tries the same file again.
  if (!certFile.empty()) std::remove(certFile.c_str());
}

}  // namespace

void ClearFido2Certificates(QuillmarkModel& model) {
  ClearTab(model.fido2List, model.fido2CertFile);
}

void ClearU2fCertificates(QuillmarkModel& model) { ClearTab(model.u2fList, model.u2fCertFile); }
