// What a key says about itself in its reply to the channel allocation
// (CTAPHID_INIT): after the nonce and the channel id come five bytes,
//   protocol version | major | minor | build | capability flags
#pragma once

#include <cstdint>

constexpr uint8_t CTAPHID_CAPABILITY_WINK = 0x01;
constexpr uint8_t CTAPHID_CAPABILITY_CBOR = 0x04;
constexpr uint8_t CTAPHID_CAPABILITY_NMSG = 0x08;

struct KeyInitFacts {
  bool known = false;  // false until an INIT reply of the selected key was taken
  uint8_t protocolVersion = 0;
  uint8_t majorVersion = 0;
  uint8_t minorVersion = 0;
  uint8_t buildVersion = 0;
  uint8_t capabilities = 0;
};
