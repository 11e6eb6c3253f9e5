// The refresh: reads everything the window shows about the attached key and
// rebuilds the lists from nothing.
#pragma once

#include <string>

#include "keyinfo/quillmark_model.h"

// `vidText` and `pidText` hold the hex digits of the ids to select, or are
// empty to take the first FIDO interface found.
void GetDeviceState(QuillmarkModel& model, const std::string& vidText, const std::string& pidText);
