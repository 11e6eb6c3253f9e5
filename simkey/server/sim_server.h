// One simulated device served as a network authenticator: UDP datagrams of
// one 64-byte CTAPHID packet, replies to REPLYPORT on the loopback address,
// and/or a TCP stream of packets each after its two-byte length. The device
// code is the one the in-process platform uses; its clock follows real time,
// so touches take as long as the profile says.
#pragma once

#include <memory>
#include <string>

#include "simkey/server/sim_server_options.h"
#include "simkey/sim_config.h"

class SimServer {
 public:
  SimServer(SimDeviceConfig device, const SimServerOptions& options);
  ~SimServer();

  // Binds the sockets; false with the reason in `error`.
  bool Listen(std::string& error);
  // "udp:127.0.0.1:8111:7112 tcp:127.0.0.1:8112": where it listens, in the
  // form Quillmark's --device takes.
  std::string Addresses() const;
  // Serves until `stop` becomes non-zero: checked whenever a wait ends, at
  // least every 200 ms; a signal handler that sets it interrupts the wait.
  // Answers false on a socket failure, with the reason in `error`.
  bool Run(volatile const int& stop, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
