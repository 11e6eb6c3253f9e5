// Temporary .cer files for the system's certificate viewer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "attestation/tab_state.h"
#include "keyinfo/opener.h"
#include "keyinfo/quillmark_model.h"
#include "keyinfo/report_list.h"

// The directory the files go to: TMPDIR when set and not empty, else /tmp.
std::string TempCertificateDirectory();

// Writes `bytes` to a new file "f1d0" + unique part + ".cer" in the temporary
// directory, created exclusively with mode 0600. On success the path becomes
// the tab's last file and joins the tab's files; answers 0. On failure no
// file is left, the tab's last file is emptied, and the answer is -1.
int WriteTempCertificateFile(QuillmarkModel& model, CertificateTab tab, const uint8_t* bytes,
                             size_t length);

// The "Base64 encode" row `row` of `list`: decodes its value into a new .cer
// file of the tab and opens it; nothing is opened when the file cannot be
// written.
void OpenCertificateFromRow(const ReportList& list, size_t row, QuillmarkModel& model,
                            CertificateTab tab, Opener& opener);
