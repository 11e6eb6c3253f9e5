// An authenticator taking one 64-byte CTAPHID packet per datagram, no report
// id, on HOST:PORT, and sending every reply to REPLYPORT on the loopback
// address, whoever asked. The reply port is bound before anything is sent.
#pragma once

#include "transport/network_platform.h"

class UdpPlatform final : public NetworkPlatform {
 public:
  explicit UdpPlatform(DeviceName name) : NetworkPlatform(std::move(name)) {}

 protected:
  std::unique_ptr<NetworkLink> Connect(std::string& error, int& errorCode) override;
};
