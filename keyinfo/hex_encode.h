#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes each byte as two uppercase hexadecimal characters into `buffer`, no
// separator and no terminator, and answers 2 x count; writes nothing and
// answers 0 when `capacity` (in characters) is less than 2 x count.
size_t HexEncode(char* buffer, size_t capacity, const uint8_t* bytes, size_t count);

// The first `limit` bytes of `bytes` as lowercase hex, no separator.
std::string LowerHex(const uint8_t* bytes, size_t count, size_t limit = SIZE_MAX);

// The bytes as uppercase hex, no separator.
std::string UpperHex(const std::vector<uint8_t>& bytes);
