// Texts of the entries of the hardware-information record: the caption of
// each known tag and the lines that describe its value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The caption of a tag that has a meaning, or nullptr for any other byte.
const char* HardwareTagCaption(uint8_t tag);

// The lines describing the value of a known entry: the first belongs in the
// entry row, each further one in a continuation row. `value` holds exactly
// `length` bytes; a value too short for its tag gives the single line
// "unknown". A tag without a value text (0x91) gives one empty line.
std::vector<std::string> HardwareValueLines(uint8_t tag, const uint8_t* value, uint32_t length);
