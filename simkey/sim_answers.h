// What the key's applets and authenticator answer to one request: the
// profile's rules first, each giving its answers in turn, then the default
// key when the device is built in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_default_key.h"

class SimAnswers {
 public:
  explicit SimAnswers(SimClock& clock) : builtin_(clock) {}

  // Every rule starts again from its first answer (a channel allocation).
  void RestartTurns();

  // The answer to an APDU; a reply is data, then the status word.
  SimAnswer AnswerApdu(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu);
  // The answer to a CTAP request (command byte first); a reply is the status
  // byte, then CBOR. `refused` tells whether the built-in authenticator
  // answered an error, as a key does before it would ask for a touch.
  SimAnswer AnswerCbor(const SimDeviceConfig& config, const std::vector<uint8_t>& request,
                       bool* refused = nullptr);

 private:
  // The rule's answer for this turn; the turn count stops at the last answer.
  static SimAnswer Take(const std::vector<SimAnswer>& answers, size_t& turn);

  SimDefaultKey builtin_;
  // Requests answered so far by each rule, by its index in the configuration.
  std::map<size_t, size_t> apduTurns_;
  std::map<size_t, size_t> cborTurns_;
};
