#include "metadata/compact_jws.h"

#include <nlohmann/json.hpp>

#include "metadata/base64url.h"

namespace {

// Certificates of a chain are a few kilobytes; more is not a certificate.
constexpr size_t kMaxCertificateChars = 32 * 1024;

std::string ReadHeaderJson(const std::vector<uint8_t>& bytes, JwsHeader& header) {
  nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return "the header is not a JSON object";
  const auto alg = json.find("alg");
  if (alg == json.end() || !alg->is_string()) return "the header names no signature algorithm";
  const std::string& algorithm = alg->get_ref<const std::string&>();
  if (algorithm == "RS256") {
    header.algorithm = JwsAlgorithm::kRs256;
  } else if (algorithm == "ES256") {
    header.algorithm = JwsAlgorithm::kEs256;
  } else {
    return "its signature algorithm \"" + algorithm.substr(0, 16) + "\" is not supported";
  }
  const auto x5c = json.find("x5c");
  if (x5c == json.end() || !x5c->is_array() || x5c->empty()) {
    return "the header carries no certificate chain";
  }
  if (x5c->size() > JWS_MAX_CHAIN_CERTIFICATES) return "the header's certificate chain is too long";
  header.x5c.clear();
  for (const nlohmann::json& element : *x5c) {
    std::vector<uint8_t> der;
    if (!element.is_string() ||
        element.get_ref<const std::string&>().size() > kMaxCertificateChars ||
        !DecodeBase64Standard(element.get_ref<const std::string&>(), der) || der.empty()) {
      return "a certificate of the header's chain is not valid base64";
    }
    header.x5c.push_back(std::move(der));
  }
  return {};
}

}  // namespace

std::string ReadJwsHeader(std::string_view headerSegment, JwsHeader& header) {
  if (headerSegment.empty()) return "the header is empty";
  if (headerSegment.size() > JWS_MAX_HEADER_CHARS) return "the header is too long";
  std::vector<uint8_t> bytes;
  if (!DecodeBase64Url(headerSegment, bytes)) return "the header is not valid base64url";
  return ReadHeaderJson(bytes, header);
}

std::string ReadCompactJws(std::string_view text, CompactJws& jws) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  const size_t firstDot = text.find('.');
  const size_t secondDot =
      firstDot == std::string_view::npos ? firstDot : text.find('.', firstDot + 1);
  if (secondDot == std::string_view::npos || text.find('.', secondDot + 1) != text.npos) {
    return "it is not a compact JWS (three parts separated by dots)";
  }
  if (std::string error = ReadJwsHeader(text.substr(0, firstDot), jws.header); !error.empty()) {
    return error;
  }
  const std::string_view payload = text.substr(firstDot + 1, secondDot - firstDot - 1);
  if (payload.empty() || !DecodeBase64Url(payload, jws.payload)) {
    return "the payload is not valid base64url";
  }
  const std::string_view signature = text.substr(secondDot + 1);
  if (signature.empty() || !DecodeBase64Url(signature, jws.signature)) {
    return "the signature is not valid base64url";
  }
  jws.signingInput = text.substr(0, secondDot);
  return {};
}
