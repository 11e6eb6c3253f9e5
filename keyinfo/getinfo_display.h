// authenticatorGetInfo answer -> rows of the "Hardware info" list.
#pragma once

#include <string>
#include <vector>

#include "cbor/cbor_view.h"
#include "keyinfo/quillmark_model.h"

constexpr size_t OPTIONS_ROW_LIMIT = 96;
extern const char* const OPTIONS_CONTINUATION_INDENT;  // 13 spaces

// Appends the GetInfo rows to model.infoList, sets model.aaguidText and
// keyHasPin.
void ShowGetInfo(QuillmarkModel& model, const CborView& view);

// Cuts the options text ("options: ..." ending in a space) into list rows.
std::vector<std::string> WrapOptionsText(const std::string& text);
