// The expected bytes were written with python3-fido2's own CBOR encoder from
// the maps its CredentialManagement, FPBioEnrollment and LargeBlobs send,
// with pinUvAuthParam 00 01 02 ... and rpIDHash AA x 32.
#include <gtest/gtest.h>

#include <cstring>

#include "credentials/bio_enrollment.h"
#include "credentials/credman_requests.h"
#include "credentials/large_blobs.h"
#include "tests/credentials/hex_bytes.h"

namespace {

const uint8_t kParam[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                            16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
uint8_t kHash[32];
const PinUvAuth kProtocol1{1, kParam, 16};
const PinUvAuth kProtocol2{2, kParam, 32};
const PinUvAuth kNoAuth{};
const std::string kParam2Hex =
    "5820000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const std::string kHashHex = "5820" + std::string(64, 'a');

std::string Request(uint32_t length, const uint8_t* request) {
  std::string hex;
  char pair[3];
  for (uint32_t i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", request[i]);
    hex += pair;
  }
  return hex;
}

TEST(CredmanRequests, MatchTheIndependentEncoding) {
  std::memset(kHash, 0xAA, sizeof kHash);
  struct Case {
    CredmanCall call;
    PinUvAuth auth;
    std::string expected;  // "" : refused
  } cases[] = {
      {{0x0A, 0x01, nullptr}, kProtocol2, "0aa30101030204" + kParam2Hex},
      {{0x41, 0x02, nullptr}, kProtocol1, "41a3010203010450000102030405060708090a0b0c0d0e0f"},
      {{0x0A, 0x03, nullptr}, kProtocol2, "0aa10103"},  // GetNext carries no auth
      {{0x0A, 0x04, kHash}, kProtocol2, "0aa4010402a101" + kHashHex + "030204" + kParam2Hex},
      {{0x0A, 0x05, nullptr}, kNoAuth, "0aa10105"},
      {{0x0A, 0x04, nullptr}, kProtocol2, ""},       // no rpIDHash
      {{0x0A, 0x01, nullptr}, kNoAuth, ""},          // needs a token
      {{0x0A, 0x01, nullptr}, {1, kParam, 32}, ""},  // protocol 1 param is 16 bytes
      {{0x0A, 0x06, nullptr}, kProtocol2, ""},       // deleteCredential: never
      {{0x0B, 0x01, nullptr}, kProtocol2, ""},
  };
  for (const Case& c : cases) {
    uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
    const uint32_t length = WriteCredmanRequest(c.call, c.auth, request);
    EXPECT_EQ(Request(length, request), c.expected) << int(c.call.subCommand);
  }
}

TEST(CredmanRequests, AuthMessageIsSubcommandThenParams) {
  std::memset(kHash, 0xAA, sizeof kHash);
  uint8_t message[CREDMAN_AUTH_MESSAGE_MAX];
  EXPECT_EQ(Request(WriteCredmanAuthMessage({0x0A, 0x04, kHash}, message), message),
            "04a101" + kHashHex);
  EXPECT_EQ(Request(WriteCredmanAuthMessage({0x41, 0x01, nullptr}, message), message), "01");
  EXPECT_EQ(WriteCredmanAuthMessage({0x0A, 0x04, nullptr}, message), 0u);
}

TEST(BioAndLargeBlobRequests, MatchTheIndependentEncoding) {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  EXPECT_EQ(Request(WriteBioSensorInfoRequest(0x09, request), request), "09a201010207");
  EXPECT_EQ(Request(WriteBioEnumerateRequest(0x40, kProtocol1, request), request),
            "40a40101020404010550000102030405060708090a0b0c0d0e0f");
  EXPECT_EQ(WriteBioEnumerateRequest(0x09, kNoAuth, request), 0u);
  EXPECT_EQ(WriteBioSensorInfoRequest(0x0A, request), 0u);
  uint8_t message[BIO_AUTH_MESSAGE_LENGTH];
  WriteBioEnumerateAuthMessage(message);
  EXPECT_EQ(Request(2, message), "0104");
  EXPECT_EQ(Request(WriteLargeBlobGetRequest(960, 1920, request), request), "0ca2011903c003190780");
}

}  // namespace
