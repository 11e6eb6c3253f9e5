// All eight applet queries against a simulated key whose answers come from
// the input. Input: for each of the nine requests, a two-byte length (high
// first) and that many reply bytes (data and status word), cut short where the
// input ends. Every query must answer a defined code, leave the text buffer
// untouched on failure, and write a terminated text within its bound.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "keyinfo/applet_queries.h"
#include "simkey/sim_platform.h"
#include "transport/key_device.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kRequests[] = {
    {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0, 0x00, 0x00, 0x01, 0x67, 0x41, 0x30, 0x00, 0xFF},
    {0x80, 0xE3, 0x00, 0x00, 0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x0E, 0xD1, 0x56, 0x00, 0x01, 0x32,
     0x52, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x01, 0x01, 0x00, 0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01, 0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00,
     0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03, 0x97, 0x42, 0x54, 0x46, 0x59, 0x02, 0x01,
     0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01, 0x00},
    {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00},
    Bytes(APPLET_VERSION_REQUEST, APPLET_VERSION_REQUEST + sizeof APPLET_VERSION_REQUEST),
};

// The longest text a query writes: 30 bytes as hex and a status word.
constexpr size_t kLongestText = 64;

Bytes NextReply(const uint8_t*& data, const uint8_t* end) {
  if (end - data < 2) {
    data = end;
    return {};
  }
  const size_t wanted = static_cast<size_t>(data[0] << 8 | data[1]);
  data += 2;
  const size_t length = std::min(wanted, static_cast<size_t>(end - data));
  Bytes reply(data, data + length);
  data += length;
  return reply;
}

void Check(int (*query)(char*)) {
  char text[APPLET_TEXT_CAPACITY] = {};
  const int result = query(text);
  if (result != QUERY_OK && result != QUERY_FAILED && result != QUERY_BAD_ANSWER) {
    __builtin_trap();
  }
  const size_t length = strnlen(text, sizeof text);
  if (length > kLongestText) __builtin_trap();
  if (result != QUERY_OK && length != 0) __builtin_trap();
  for (size_t i = length; i < sizeof text; ++i) {
    if (text[i] != 0) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  SimKeyPlatform platform;
  SimDeviceConfig config;
  config.builtin = false;
  for (const Bytes& request : kRequests) {
    config.apdu.push_back({request, false, NextReply(data, end)});
  }
  platform.AddDevice(config);

  KeyDevice& key = KeyDevice::Instance();
  key.SetPlatform(&platform);
  key.SetClock(&platform.clock());
  KeyLayerReady = true;
  KeyEnumerate();
  KeySelect(0, 0);

  Check(QueryIdentify);
  Check(QueryFingerprintModuleVersion);
  Check(QueryWinHelloVersion);
  Check(QueryOtpVersion);
  Check(QueryPivVersion);
  Check(QueryGidsVersion);
  Check(QueryNdefPresent);
  Check(QueryU2fVersion);

  key.SetPlatform(nullptr);
  key.SetClock(nullptr);
  KeyLayerReady = false;
  return 0;
}
