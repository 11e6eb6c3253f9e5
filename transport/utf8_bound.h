#pragma once

#include <cstddef>
#include <string>

// The longest prefix of `text` (UTF-8) whose UTF-16 form has at most `units`
// code units, cut at a character boundary. Malformed bytes count as one unit.
std::string Utf8BoundUtf16Units(const std::string& text, size_t units);
