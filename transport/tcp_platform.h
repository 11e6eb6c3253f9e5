// An authenticator taking CTAPHID packets over a TCP stream, each 64-byte
// packet in either direction after its length in two bytes, high byte first.
#pragma once

#include "transport/network_platform.h"

class TcpPlatform final : public NetworkPlatform {
 public:
  explicit TcpPlatform(DeviceName name) : NetworkPlatform(std::move(name)) {}

 protected:
  std::unique_ptr<NetworkLink> Connect(std::string& error, int& errorCode) override;
};
