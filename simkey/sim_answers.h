// What the key's applets and authenticator answer to one request: the
// profile's rules first, then the default key when the device is built in.
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_default_key.h"

class SimAnswers {
 public:
  explicit SimAnswers(SimClock& clock) : builtin_(clock) {}

  // The reply to an APDU: data, then the status word.
  std::vector<uint8_t> AnswerApdu(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu);
  // The reply to a CTAP request (command byte first): status byte, then CBOR.
  // `refused` tells whether the built-in authenticator answered an error, as
  // a key does before it would ask for a touch.
  std::vector<uint8_t> AnswerCbor(const SimDeviceConfig& config,
                                  const std::vector<uint8_t>& request, bool* refused = nullptr);

 private:
  SimDefaultKey builtin_;
};
