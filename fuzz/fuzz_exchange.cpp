// A fuzzed simulated key answers one APDU and one CTAP2 request with arbitrary
// reports; the real exchange must end in a defined result every time.
#include <cstdint>
#include <vector>

#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

std::vector<std::vector<uint8_t>> Reports(const uint8_t*& data, const uint8_t* end) {
  std::vector<std::vector<uint8_t>> reports;
  if (data >= end) return reports;
  const size_t count = *data++ % 80;
  for (size_t i = 0; i < count && data < end; ++i) {
    std::vector<uint8_t> report(CTAPHID_REPORT_LENGTH, 0);
    const size_t length = std::min<size_t>(static_cast<size_t>(end - data), 64);
    std::copy(data, data + length, report.begin() + 1);
    data += length;
    reports.push_back(std::move(report));
  }
  return reports;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t* end = data + size;
  const bool stampChannel = (*data++ & 1) != 0;

  SimKeyPlatform platform;
  SimDeviceConfig config;
  SimDevice& device = platform.AddDevice(config);
  KeyDevice& key = KeyDevice::Instance();
  key.SetPlatform(&platform);
  key.SetClock(&platform.clock());
  KeyLayerReady = true;
  KeyEnumerate();
  KeySelect(0, 0);

  device.QueueRawReports(Reports(data, end), stampChannel);
  const uint8_t apdu[] = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                          0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00};
  std::vector<uint8_t> reply(300);
  uint32_t length = static_cast<uint32_t>(reply.size());
  KeySendApdu(apdu, sizeof apdu, reply.data(), &length, CTAPHID_MSG);
  if (length > reply.size() && length > KEY_REPLY_BUFFER_SIZE) __builtin_trap();

  device.QueueRawReports(Reports(data, end), stampChannel);
  const uint8_t getInfo[] = {0x04};
  std::vector<uint8_t> answer(1000);
  length = static_cast<uint32_t>(answer.size());
  KeySendCbor(getInfo, 1, answer.data(), &length);
  if (length > answer.size()) __builtin_trap();

  key.SetPlatform(nullptr);
  key.SetClock(nullptr);
  return 0;
}
