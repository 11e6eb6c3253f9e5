// Each query selects an applet (or sends a vendor command) and reads a short
// answer from it. Every answer is read only as far as the key really sent it.
#include "keyinfo/applet_queries.h"

#include <algorithm>
#include <cstdio>

#include "keyinfo/hex_encode.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

// Version of the applet that the preceding SELECT made current; the version
// stands in bytes 8 and 9 of the answer.
const uint8_t APPLET_VERSION_REQUEST[11] = {0x80, 0xE2, 0x80, 0x00, 0x05, 0xDF,
                                            0xFF, 0x02, 0x80, 0x01, 0x00};

namespace {

constexpr uint16_t STATUS_WORD_OK = 0x9000;
constexpr uint32_t VERSION_ANSWER_CAPACITY = 30;
// A version answer shorter than this does not hold the version bytes 8 and 9.
constexpr uint32_t VERSION_ANSWER_MINIMUM = 16;
constexpr uint32_t VERSION_BYTE = 8;

// SELECT by name: 00 A4 04 00, name length, name[, Le].
const uint8_t kIdentifySelect[] = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0, 0x00,
                                   0x00, 0x01, 0x67, 0x41, 0x30, 0x00, 0xFF};
const uint8_t kFingerprintModuleRequest[] = {0x80, 0xE3, 0x00, 0x00, 0x00};
const uint8_t kWinHelloSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x0E, 0xD1, 0x56, 0x00, 0x01, 0x32,
                                   0x52, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x01, 0x01, 0x00, 0x00};
const uint8_t kOtpSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00,
                              0x01, 0x32, 0x83, 0x26, 0x01, 0x01, 0x00};
const uint8_t kPivSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03,
                              0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00};
const uint8_t kGidsSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03,
                               0x97, 0x42, 0x54, 0x46, 0x59, 0x02, 0x01, 0x00};
const uint8_t kNdefSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76,
                               0x00, 0x00, 0x85, 0x01, 0x01, 0x00};
const uint8_t kU2fSelect[] = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                              0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00};

constexpr uint32_t IDENTIFY_CAPACITY = 30;
constexpr uint32_t IDENTIFY_ANSWER_MINIMUM = 16;
constexpr uint32_t FINGERPRINT_MODULE_CAPACITY = 256;
constexpr uint32_t FINGERPRINT_MODULE_ANSWER_LENGTH = 7;
constexpr uint32_t SMALL_SELECT_CAPACITY = 25;    // Windows Hello, OTP, GIDS
constexpr uint32_t LARGE_SELECT_CAPACITY = 1024;  // PIV, FIDO
constexpr uint32_t NDEF_SELECT_CAPACITY = 1023;

// One request into `response`; `received` starts at the capacity and ends at
// the data bytes received (status word not counted).
template <size_t RequestLength>
uint16_t Send(const uint8_t (&request)[RequestLength], uint8_t* response, uint32_t capacity,
              uint32_t* received) {
  *received = capacity;
  return KeySendApdu(request, RequestLength, response, received, CTAPHID_MSG);
}

void WriteVersion(char* text, uint8_t high, uint8_t low) {
  snprintf(text, APPLET_TEXT_CAPACITY, "%02X%02X", high, low);
}

// SELECT, then the version request into the same buffer.
template <uint32_t SelectCapacity, size_t RequestLength>
int QuerySelectedVersion(char* text, const uint8_t (&select)[RequestLength]) {
  if (text == nullptr) return QUERY_FAILED;
  // The version answer may be longer than the selection answer allowed.
  uint8_t response[std::max(SelectCapacity, VERSION_ANSWER_CAPACITY)] = {};
  uint32_t received = 0;
  if (Send(select, response, SelectCapacity, &received) != STATUS_WORD_OK) return QUERY_FAILED;
  // Only a failed exchange counts here: some keys answer the version request
  // with a warning status and the version all the same.
  if (Send(APPLET_VERSION_REQUEST, response, VERSION_ANSWER_CAPACITY, &received) ==
      KEY_STATUS_TRANSPORT_ERROR) {
    return QUERY_BAD_ANSWER;
  }
  if (received < VERSION_ANSWER_MINIMUM || received > VERSION_ANSWER_CAPACITY) {
    return QUERY_BAD_ANSWER;
  }
  WriteVersion(text, response[VERSION_BYTE], response[VERSION_BYTE + 1]);
  return QUERY_OK;
}

}  // namespace

int QueryIdentify(char* text) {
  if (text == nullptr) return QUERY_FAILED;
  uint8_t response[IDENTIFY_CAPACITY] = {};
  uint32_t received = 0;
  const uint16_t status = Send(kIdentifySelect, response, IDENTIFY_CAPACITY, &received);
  if (received < IDENTIFY_ANSWER_MINIMUM) return QUERY_BAD_ANSWER;
  if (status != STATUS_WORD_OK || received > IDENTIFY_CAPACITY) return QUERY_FAILED;
  // Every data byte as two hex digits, then the status word: at most 64
  // characters and the terminator.
  const size_t digits = HexEncode(text, APPLET_TEXT_CAPACITY, response, received);
  snprintf(text + digits, APPLET_TEXT_CAPACITY - digits, "%04X", STATUS_WORD_OK);
  return QUERY_OK;
}

int QueryFingerprintModuleVersion(char* text) {
  if (text == nullptr) return QUERY_FAILED;
  uint8_t response[FINGERPRINT_MODULE_CAPACITY] = {};
  uint32_t received = 0;
  if (Send(kFingerprintModuleRequest, response, FINGERPRINT_MODULE_CAPACITY, &received) !=
      STATUS_WORD_OK) {
    return QUERY_FAILED;
  }
  if (received != FINGERPRINT_MODULE_ANSWER_LENGTH) return QUERY_BAD_ANSWER;
  WriteVersion(text, response[5], response[6]);
  return QUERY_OK;
}

int QueryWinHelloVersion(char* text) {
  return QuerySelectedVersion<SMALL_SELECT_CAPACITY>(text, kWinHelloSelect);
}

int QueryOtpVersion(char* text) {
  return QuerySelectedVersion<SMALL_SELECT_CAPACITY>(text, kOtpSelect);
}

int QueryGidsVersion(char* text) {
  return QuerySelectedVersion<SMALL_SELECT_CAPACITY>(text, kGidsSelect);
}

int QueryU2fVersion(char* text) {
  return QuerySelectedVersion<LARGE_SELECT_CAPACITY>(text, kU2fSelect);
}

int QueryPivVersion(char* text) {
  if (text == nullptr) return QUERY_FAILED;
  uint8_t response[LARGE_SELECT_CAPACITY] = {};
  uint32_t received = 0;
  if (Send(kPivSelect, response, LARGE_SELECT_CAPACITY, &received) != STATUS_WORD_OK) {
    return QUERY_FAILED;
  }
  if (Send(APPLET_VERSION_REQUEST, response, VERSION_ANSWER_CAPACITY, &received) !=
      STATUS_WORD_OK) {
    return QUERY_BAD_ANSWER;
  }
  // The PIV applet answers either the long form or just the two version
  // bytes.
  if (received >= VERSION_ANSWER_MINIMUM && received <= VERSION_ANSWER_CAPACITY) {
    WriteVersion(text, response[VERSION_BYTE], response[VERSION_BYTE + 1]);
  } else if (received >= 2 && received <= VERSION_ANSWER_CAPACITY) {
    WriteVersion(text, response[0], response[1]);
  } else {
    return QUERY_BAD_ANSWER;
  }
  return QUERY_OK;
}

int QueryNdefPresent(char* text) {
  if (text == nullptr) return QUERY_FAILED;
  uint8_t response[NDEF_SELECT_CAPACITY] = {};
  uint32_t received = 0;
  return Send(kNdefSelect, response, NDEF_SELECT_CAPACITY, &received) == STATUS_WORD_OK
             ? QUERY_OK
             : QUERY_FAILED;
}
