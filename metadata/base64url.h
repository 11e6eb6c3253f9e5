// Strict base64 decoding for signed metadata: the URL-safe alphabet without
// padding of compact JWS segments, and the standard alphabet (padding
// optional) of certificates carried in JSON.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// False for a character outside the alphabet, a length that cannot be
// base64, or unused trailing bits that are not zero (so that every text has
// exactly one meaning). `out` is replaced.
bool DecodeBase64Url(std::string_view text, std::vector<uint8_t>& out);
bool DecodeBase64Standard(std::string_view text, std::vector<uint8_t>& out);
// The standard alphabet as published certificates in JSON really are written:
// white space (line breaks, tabs) anywhere is skipped and unused trailing
// bits are ignored. False for any other character or an impossible length.
bool DecodeBase64Loose(std::string_view text, std::vector<uint8_t>& out);
