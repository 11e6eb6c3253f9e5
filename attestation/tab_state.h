// The little state of the two certification tabs: their hint rows, and the
// clearing of a tab together with its temporary certificate file.
#pragma once

#include "keyinfo/quillmark_model.h"

extern const char* const TIPS_CAPTION;
extern const char* const TIPS_TEXT;

void ShowFido2Tips(QuillmarkModel& model);
void ShowU2fTips(QuillmarkModel& model);
void ClearFido2Certificates(QuillmarkModel& model);
void ClearU2fCertificates(QuillmarkModel& model);
