// Which key the lists show: the ids that a refresh of that same key selects by.
#pragma once

#include <string>

#include "keyinfo/quillmark_model.h"

// The "VID" and "PID" value texts of the "Hardware info" list (hex digits),
// the same texts a device event hands to the refresh. Both empty when the
// list shows no key, so that the refresh takes the first key found.
void ShownKeyIds(const QuillmarkModel& model, std::string* vidText, std::string* pidText);
