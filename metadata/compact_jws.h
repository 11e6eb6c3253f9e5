// A compact JWS (RFC 7515) as the metadata service signs its file:
//
//   BASE64URL(header) "." BASE64URL(payload) "." BASE64URL(signature)
//
// The header is a JSON object with "alg" (RS256 or ES256) and "x5c" (an array
// of standard-base64 DER certificates, leaf first).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class JwsAlgorithm { kRs256, kEs256 };

struct JwsHeader {
  JwsAlgorithm algorithm = JwsAlgorithm::kRs256;
  std::vector<std::vector<uint8_t>> x5c;  // DER, leaf first
};

struct CompactJws {
  JwsHeader header;
  std::string_view signingInput;  // header "." payload, as in the text
  std::vector<uint8_t> payload;
  std::vector<uint8_t> signature;
};

// Limits of what is read.
constexpr size_t JWS_MAX_HEADER_CHARS = 64 * 1024;
constexpr size_t JWS_MAX_CHAIN_CERTIFICATES = 8;

// The header segment (base64url) alone. Empty answer on success; otherwise a
// clause saying what is wrong ("the header is not JSON").
std::string ReadJwsHeader(std::string_view headerSegment, JwsHeader& header);

// The whole text; white space at its end is ignored. `jws.signingInput`
// points into `text`. Empty answer on success, else a clause as above.
std::string ReadCompactJws(std::string_view text, CompactJws& jws);
