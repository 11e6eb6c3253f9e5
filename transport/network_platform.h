// A HidPlatform with one interface: an authenticator that runs as a process
// and takes CTAPHID packets over the network. The interface is FIDO (usage
// page F1D0); its path and product string are the address as given, its ids
// those of the DeviceName. The read and the write handle share one
// connection, made when the first of them is opened.
//
// Reports are the 64-byte packet behind report id 0, 65 bytes each way.
// Reads honour the caller's time-out; a refused connection or an unreachable
// port fails like a failed read (-1), and so does every read after it.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "transport/device_name.h"
#include "transport/hid_platform.h"
#include "transport/network_socket.h"
#include "transport/tcp_frame_reader.h"

// One connection to the authenticator.
class NetworkLink {
 public:
  virtual ~NetworkLink() = default;
  // False with the reason in `error`.
  virtual bool Send(const uint8_t packet[NETWORK_PACKET_SIZE], std::string& error) = 0;
  // 1 with a packet, 0 when `deadline` passed first (null: no deadline), -1
  // on failure with the reason in `error`.
  virtual int Receive(uint8_t packet[NETWORK_PACKET_SIZE], const NetworkClock::time_point* deadline,
                      std::string& error) = 0;
};

class NetworkPlatform : public HidPlatform {
 public:
  explicit NetworkPlatform(DeviceName name) : name_(std::move(name)) {}
  ~NetworkPlatform() override = default;

  // Builds the platform for a udp: or tcp: value; null for other kinds.
  static std::unique_ptr<NetworkPlatform> ForName(const DeviceName& name);

  const DeviceName& name() const { return name_; }
  // Why the authenticator could not be reached or stopped answering; empty
  // while all is well.
  const std::string& failure() const { return failure_; }
  // Whether any packet came from the authenticator.
  bool answered() const { return answered_; }
  // No wait lasts longer than this in real time, whatever the caller asks;
  // tests of silent peers set it low. Negative: no cap.
  void SetWaitLimitMs(int milliseconds) { waitLimitMs_ = milliseconds; }

  bool Enumerate(std::vector<HidInterface>& out) override;
  KeyHandle Open(const std::string& path, HidAccess access, int* error) override;
  void Close(KeyHandle handle) override;
  bool GetReportLengths(KeyHandle handle, uint16_t* inputLength, uint16_t* outputLength) override;
  int Write(KeyHandle handle, const uint8_t* report, size_t length) override;
  int Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) override;

 protected:
  // Makes the connection; null with the reason in `error` and an errno value
  // in `errorCode`.
  virtual std::unique_ptr<NetworkLink> Connect(std::string& error, int& errorCode) = 0;
  // The longest a connection attempt may take, in milliseconds.
  int ConnectTimeoutMs() const;

 private:
  bool Reach(KeyHandle handle) const { return handles_.count(handle) != 0 && link_ != nullptr; }
  void Fail(const std::string& reason);

  DeviceName name_;
  std::unique_ptr<NetworkLink> link_;
  std::map<KeyHandle, bool> handles_;
  KeyHandle nextHandle_ = 1;
  bool broken_ = false;  // the link failed; it stays failed until reopened
  bool answered_ = false;
  std::string failure_;
  int waitLimitMs_ = -1;
};
