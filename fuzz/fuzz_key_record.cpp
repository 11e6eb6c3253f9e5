// Whatever a key answers, its record must load back as the profile it was
// written as: arbitrary exchanges, product string and INIT facts go through
// SimRecordedDevice and SimProfileJson, and LoadSimProfile must accept the
// result and read the same device (a product string that is not UTF-8 is
// written with replacement characters, so it is left out of the comparison).
//
// Input: flags | release(2) | report lengths(2+2) | product length | product
// then exchanges: command selector | request length | request | outcome |
// reply length(2) | reply
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "simkey/sim_profile.h"
#include "simkey/sim_profile_writer.h"
#include "simkey/sim_record.h"
#include "transport/ctaphid.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Byte(uint8_t& out) {
    if (offset_ >= size_) return false;
    out = data_[offset_++];
    return true;
  }
  uint16_t Word() {
    uint8_t high = 0;
    uint8_t low = 0;
    Byte(high);
    Byte(low);
    return static_cast<uint16_t>((high << 8) | low);
  }
  std::vector<uint8_t> Bytes(size_t wanted) {
    const size_t taken = std::min(wanted, size_ - offset_);
    std::vector<uint8_t> bytes(data_ + offset_, data_ + offset_ + taken);
    offset_ += taken;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  uint8_t flags = 0;
  input.Byte(flags);
  KeyDeviceInfo device;
  device.path = "/dev/hidraw0";
  device.vendorId = 0x096E;
  device.productId = 0x0858;
  char version[8];
  std::snprintf(version, sizeof version, "%04X", input.Word());
  device.version = version;
  device.usagePage = 0xF1D0;
  device.usage = 1;
  const uint16_t inputLength = input.Word();
  const uint16_t outputLength = input.Word();
  uint8_t productLength = 0;
  input.Byte(productLength);
  const std::vector<uint8_t> product = input.Bytes(productLength);
  device.productName.assign(product.begin(), product.end());
  KeyInitFacts facts;
  facts.known = (flags & 1) != 0;
  facts.protocolVersion = flags;
  facts.capabilities = static_cast<uint8_t>(flags >> 1);

  std::vector<KeyLoggedExchange> exchanges;
  uint8_t selector = 0;
  while (input.Byte(selector)) {
    KeyLoggedExchange exchange;
    exchange.command = (selector & 3) == 0   ? CTAPHID_CBOR
                       : (selector & 3) == 1 ? CTAPHID_MSG
                                             : selector;
    uint8_t requestLength = 0;
    input.Byte(requestLength);
    exchange.request = input.Bytes(requestLength);
    if (exchange.request.empty()) exchange.request.push_back(selector);
    uint8_t outcome = 0;
    input.Byte(outcome);
    exchange.outcome = static_cast<KeyLoggedExchange::Outcome>(outcome % 3);
    const uint16_t replyLength = input.Word();
    if (exchange.outcome == KeyLoggedExchange::Outcome::kReply) {
      exchange.reply = input.Bytes(replyLength);
    }
    exchanges.push_back(std::move(exchange));
  }

  const SimDeviceConfig recorded =
      SimRecordedDevice(device, facts, inputLength, outputLength, exchanges);
  std::vector<SimDeviceConfig> loaded;
  std::string error;
  if (!LoadSimProfile(SimProfileJson({recorded}, "fuzz"), loaded, error)) __builtin_trap();
  if (loaded.size() != 1) __builtin_trap();
  loaded[0].product = recorded.product;
  if (loaded[0] != recorded) __builtin_trap();
  return 0;
}
