// CTAP2 status bytes that the simulated authenticator answers.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint8_t SIM_CTAP_OK = 0x00;
constexpr uint8_t SIM_CTAP_INVALID_COMMAND = 0x01;
constexpr uint8_t SIM_CTAP_INVALID_PARAMETER = 0x02;
constexpr uint8_t SIM_CTAP_INVALID_LENGTH = 0x03;
constexpr uint8_t SIM_CTAP_INVALID_CBOR = 0x12;
constexpr uint8_t SIM_CTAP_MISSING_PARAMETER = 0x14;
constexpr uint8_t SIM_CTAP_UNSUPPORTED_ALGORITHM = 0x26;
constexpr uint8_t SIM_CTAP_KEY_STORE_FULL = 0x28;
constexpr uint8_t SIM_CTAP_UNSUPPORTED_OPTION = 0x2B;
constexpr uint8_t SIM_CTAP_INVALID_OPTION = 0x2C;
constexpr uint8_t SIM_CTAP_NO_CREDENTIALS = 0x2E;
constexpr uint8_t SIM_CTAP_NOT_ALLOWED = 0x30;
constexpr uint8_t SIM_CTAP_PIN_INVALID = 0x31;
constexpr uint8_t SIM_CTAP_PIN_BLOCKED = 0x32;
constexpr uint8_t SIM_CTAP_PIN_AUTH_INVALID = 0x33;
constexpr uint8_t SIM_CTAP_PIN_NOT_SET = 0x35;
constexpr uint8_t SIM_CTAP_PIN_REQUIRED = 0x36;
constexpr uint8_t SIM_CTAP_PIN_POLICY_VIOLATION = 0x37;
constexpr uint8_t SIM_CTAP_UV_BLOCKED = 0x3C;
constexpr uint8_t SIM_CTAP_INVALID_SUBCOMMAND = 0x3E;
constexpr uint8_t SIM_CTAP_UV_INVALID = 0x3F;
constexpr uint8_t SIM_CTAP_UNAUTHORIZED_PERMISSION = 0x40;
constexpr uint8_t SIM_CTAP_OTHER = 0x7F;

// A CTAP answer: the status byte, then the CBOR.
inline std::vector<uint8_t> SimCtapAnswer(uint8_t status, const std::vector<uint8_t>& cbor) {
  std::vector<uint8_t> answer;
  answer.reserve(1 + cbor.size());
  answer.push_back(status);
  answer.insert(answer.end(), cbor.begin(), cbor.end());
  return answer;
}
