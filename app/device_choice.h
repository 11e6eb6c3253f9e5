// The key named with --device, put in charge of the transport for as long as
// this object lives: a network authenticator gets its platform, and
// enumeration keeps only the named interface, whatever its vendor.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "transport/device_name.h"

class CardPlatform;
class NetworkPlatform;

class DeviceChoice {
 public:
  DeviceChoice();
  ~DeviceChoice();
  DeviceChoice(const DeviceChoice&) = delete;
  DeviceChoice& operator=(const DeviceChoice&) = delete;

  // `text` was accepted by ParseDeviceName. Network authenticators replace
  // the platform; paths and ids select among the platform's interfaces.
  void Start(const DeviceName& name);
  bool active() const { return active_; }
  bool network() const { return network_ != nullptr; }
  // Cards on readers join the keys for as long as this object lives.
  void UseCards(CardPlatform& cards);
  // The exit code for a device that cannot be reached: a reader prefix that
  // two readers share is a bad argument, anything else no key.
  int UnreachableExitCode() const;

  // Before any refresh: a line saying why the device cannot be reached
  // (nothing listens at a TCP address, the UDP reply port is taken, no
  // interface has that path or those ids), or empty.
  std::string CheckReachable() const;
  // After a refresh: the same, also for a UDP port that refused our packets
  // and never answered, or a device that was not selected.
  std::string Unreached() const;

  // For tests of silent peers: a cap on every real wait of the network.
  void SetWaitLimitMs(int milliseconds);

 private:
  std::string Line(const std::string& reason) const;
  // Why the reader named pcsc:... holds no FIDO card, or empty.
  std::string CardProblem(bool afterRefresh) const;

  bool active_ = false;
  DeviceName name_;
  std::unique_ptr<NetworkPlatform> network_;
  bool usesCards_ = false;
  mutable bool ambiguous_ = false;
};

struct CommandLine;
// Starts `chosen` for the --device of `line`, if any, and checks that the
// device can be reached; false after saying why on `err`.
bool StartDeviceChoice(const CommandLine& line, DeviceChoice& chosen, std::ostream& err);
