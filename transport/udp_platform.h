// An authenticator taking one 64-byte CTAPHID packet per datagram, no report
// id, on HOST:PORT, and sending every reply to REPLYPORT, whoever asked. The
// reply port is bound before anything is sent, on the loopback address of the
// authenticator's family when it is a loopback address, on that family's
// wildcard otherwise. Only datagrams from the authenticator's own address and
// port are taken: another process on this machine can reach the reply port.
#pragma once

#include <cstdint>

#include "transport/network_platform.h"

class UdpPlatform final : public NetworkPlatform {
 public:
  explicit UdpPlatform(DeviceName name) : NetworkPlatform(std::move(name)) {}

  // Datagrams on reply ports that came from anyone but the authenticator,
  // skipped by every UDP link of this process.
  static uint64_t SkippedDatagrams();

 protected:
  std::unique_ptr<NetworkLink> Connect(std::string& error, int& errorCode) override;
};
