// The simulated key as a card in vsmartcard's vpcd reader driver. vpcd
// listens; the card connects to it and answers each message, which travels
// after its length in two bytes, high byte first:
//
//   one byte   a control: 0 power off, 1 power on, 2 reset, 4 the ATR
//              (answered with the ATR; the others with nothing)
//   more       a command APDU, answered with the response APDU
//
// Touches pass as the card's keep-alives say, then wait for real time.
#pragma once

#include <memory>
#include <string>

#include "simkey/server/sim_server_options.h"
#include "simkey/sim_config.h"

class SimVpcd {
 public:
  SimVpcd(SimDeviceConfig device, const SimServerEndpoint& vpcd);
  ~SimVpcd();

  // Answers vpcd until `stop` becomes non-zero, checked at least every
  // 200 ms. A vpcd that is not there or closes the link is tried again every
  // 500 ms, as a card laid on the reader again. False, with the reason in
  // `error`, when the host does not resolve.
  bool Run(volatile const int& stop, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
