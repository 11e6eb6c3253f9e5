// The little state of the two certification tabs: their hint rows, and the
// clearing of a tab together with its temporary certificate files.
#pragma once

#include <string>
#include <vector>

#include "keyinfo/quillmark_model.h"

enum class CertificateTab { kFido2, kU2f };

extern const char* const TIPS_CAPTION;
extern const char* const TIPS_TEXT;

void ShowFido2Tips(QuillmarkModel& model);
void ShowU2fTips(QuillmarkModel& model);
// Empty the tab's list and delete every certificate file written for it; the
// path of the last one stays in fido2CertFile / u2fCertFile.
void ClearFido2Certificates(QuillmarkModel& model);
void ClearU2fCertificates(QuillmarkModel& model);
// Forgets the last fetch's chain and what its signature proved.
void ClearAttestationEvidence(QuillmarkModel& model);
// Deletes the certificate files of both tabs; the program calls it at exit.
void DeleteAllCertificateFiles(QuillmarkModel& model);

ReportList& CertificateList(QuillmarkModel& model, CertificateTab tab);
// The tab's last written path, and the list of all its files.
std::string& CertificateFileMember(QuillmarkModel& model, CertificateTab tab);
std::vector<std::string>& CertificateFiles(QuillmarkModel& model, CertificateTab tab);
