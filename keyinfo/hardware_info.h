// The maker's hardware-information record -> rows of the "Security Key info"
// list (columns Tag, Length, Value, Tag Definition, Value Definition).
#pragma once

#include <cstdint>

#include "keyinfo/quillmark_model.h"

extern const uint8_t HW_INFO_REQUEST[5];
extern const uint8_t HW_INFO_REQUEST_ALT[5];
constexpr uint32_t HW_INFO_CAPACITY = 512;

// Asks the key for the record and shows it; does nothing unless
// model.securityKeyInfoEnabled.
void ShowHardwareInfo(QuillmarkModel& model);

// Appends the rows of a record (the reply data without its status word).
void AppendHardwareRecordRows(ReportList& list, const uint8_t* record, uint32_t length);
