// Base64 (RFC 4648 alphabet, no line breaks) for the certificate rows and
// their way back to DER.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::string Base64Encode(const uint8_t* bytes, size_t length);

// Reads up to `length` characters, or to a zero character. Characters outside
// the alphabet are skipped; a lone "=" after a group's first character (an
// impossible padding) makes the result empty.
std::vector<uint8_t> Base64Decode(const char* text, size_t length);
