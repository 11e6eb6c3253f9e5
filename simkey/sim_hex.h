// Hexadecimal byte strings of profile files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Parses pairs of hexadecimal digits (either case; spaces allowed between
// pairs) into `out`. False for anything else; `out` then holds a part.
bool SimParseHex(std::string_view text, std::vector<uint8_t>& out);

// `bytes` as uppercase hexadecimal digits, no spaces.
std::string SimHexText(const std::vector<uint8_t>& bytes);
// `value` as `digits` uppercase hexadecimal digits ("096E").
std::string SimHexNumber(uint32_t value, int digits);
