// Arbitrary reports fed to the reply reassembler: it must never write past the
// capacity it is given nor read past a report's bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "transport/ctaphid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t channel[4] = {0x0C, 0x0F, 0xFE, 0xE0};
  // The first two bytes choose the capacity; each report is prefixed by its
  // length byte.
  const uint32_t capacity = ((data[0] << 8) | data[1]) % 8192;
  std::vector<uint8_t> buffer(capacity);
  CtaphidReassembler reassembler(channel, buffer.data(), capacity);
  size_t offset = 2;
  while (offset < size) {
    const size_t length = data[offset++] % 101;
    if (offset + length > size) break;
    // An exact-size copy so that a read past the report is caught.
    std::vector<uint8_t> report(data + offset, data + offset + length);
    offset += length;
    // Half the reports are stamped with our channel so that the fuzzer
    // reaches the reassembly rather than the channel filter.
    if (report.size() >= 5 && (report[0] & 1)) std::memcpy(report.data() + 1, channel, 4);
    const CtaphidFeed feed = reassembler.Feed(report.data(), report.size());
    if (feed == CtaphidFeed::kDone || feed == CtaphidFeed::kTooLong ||
        feed == CtaphidFeed::kBroken) {
      if (feed == CtaphidFeed::kDone && reassembler.messageLength() > capacity) __builtin_trap();
      break;
    }
  }
  return 0;
}
