// The one parser of the values that name a key: a network authenticator, a
// hidraw node or a vendor and product id pair.
//
//   udp:HOST:PORT[:REPLYPORT][,vid=XXXX][,pid=XXXX]
//   tcp:HOST:PORT[,vid=XXXX][,pid=XXXX]
//   /dev/hidrawN
//   VID:PID              (hexadecimal)
//   pcsc:READER          a card reader's name, or a prefix only one has
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <cstdint>
#include <string>

// The conventional ports of the software builds of FIDO firmwares.
constexpr uint16_t DEVICE_NAME_UDP_PORT = 8111;
constexpr uint16_t DEVICE_NAME_UDP_REPLY_PORT = 7112;
// The ids a network authenticator shows unless the value sets them.
constexpr uint16_t DEVICE_NAME_NETWORK_VENDOR_ID = 0xF1D0;
constexpr uint16_t DEVICE_NAME_NETWORK_PRODUCT_ID = 0x0001;

struct DeviceName {
  enum class Kind { kUdp, kTcp, kHidPath, kVendorProduct, kPcsc };
  Kind kind = Kind::kVendorProduct;
  // The address as given ("udp:127.0.0.1:8111", without the id options), the
  // hidraw path or the ids as given: for the network, the interface's path
  // and product string.
  std::string path;
  std::string host;  // brackets of an IPv6 address removed; a reader's name (or prefix)
  uint16_t port = 0;
  uint16_t replyPort = DEVICE_NAME_UDP_REPLY_PORT;
  uint16_t vendorId = 0;
  uint16_t productId = 0;

  bool network() const { return kind == Kind::kUdp || kind == Kind::kTcp; }
};

// False with `error` saying what is wrong; `out` is set only on success.
bool ParseDeviceName(const std::string& text, DeviceName& out, std::string& error);

// The grammar above in a few lines, for messages about bad values.
const char* DeviceNameGrammar();
