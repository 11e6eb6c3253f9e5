// The simulated key as a contactless FIDO card: the same applets and
// authenticator as the HID device (SimAnswers), reached by APDUs.
//
//   SELECT 00 A4 04 00 08 A0000006472F0001   "FIDO_2_0" (or "U2F_V2", u2fOnly)
//   NFCCTAP_MSG 80 10 P1 00 <CTAP message>   status byte and CBOR, 9000; with
//       P1 80 first SimCardOptions::keepAlives 9100 answers (data: 01
//       processing) and, while a touch is awaited, 9100 with data 02, each
//       standing for SIMKEY_KEEPALIVE_INTERVAL_MS of simulated time
//   NFCCTAP_GETRESPONSE 80 11 00 00          the next 9100 or the result;
//       6985 when no message is pending
//   U2F and every other APDU                 SimAnswers, as over CTAPHID MSG
//
// Commands may come chained (CLA bit 10) and, unless shortApdusOnly, as
// extended APDUs. An answer longer than the command's Le comes in pieces:
// 61XX, then GET RESPONSE 00 C0 00 00 XX. NFCCTAP and U2F commands before
// the FIDO applet is selected answer 6D00; power and reset deselect it.
#pragma once

#include <cstdint>
#include <vector>

#include "simkey/sim_answers.h"
#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "transport/apdu_framing.h"

// vpcd's control bytes.
constexpr uint8_t SIM_CARD_POWER_OFF = 0;
constexpr uint8_t SIM_CARD_POWER_ON = 1;
constexpr uint8_t SIM_CARD_RESET = 2;
constexpr uint8_t SIM_CARD_ATR_REQUEST = 4;

// The longest command a chain may build up.
constexpr size_t SIM_CARD_MAX_COMMAND = 65536;

class SimCard {
 public:
  SimCard(SimDeviceConfig config, SimClock& clock);

  // A control byte; answers the ATR for the ATR request, nothing otherwise.
  std::vector<uint8_t> Control(uint8_t code);
  // One command APDU; answers the response APDU, or nothing at all where a
  // profile rule says "silent".
  std::vector<uint8_t> Transmit(const std::vector<uint8_t>& apdu);

  const SimDeviceConfig& config() const { return config_; }

 private:
  std::vector<uint8_t> Dispatch(const ApduCommand& command, const std::vector<uint8_t>& raw);
  std::vector<uint8_t> Ctap(const ApduCommand& command);
  std::vector<uint8_t> NextCtapAnswer(uint32_t le);
  // Cuts a reply (data, status word) to what `le` lets through.
  std::vector<uint8_t> Respond(const std::vector<uint8_t>& reply, uint32_t le);
  std::vector<uint8_t> NextPiece(uint32_t le);
  std::vector<uint8_t> FromAnswer(const SimAnswer& answer, uint32_t le);
  void Deselect();

  SimDeviceConfig config_;
  SimClock& clock_;
  SimAnswers answers_;
  bool selected_ = false;
  // A command chain being received: its header and data so far.
  bool chaining_ = false;
  uint8_t chainIns_ = 0;
  std::vector<uint8_t> chainData_;
  // Answer bytes waiting for GET RESPONSE, and the status word after them.
  std::vector<uint8_t> held_;
  uint16_t heldSw_ = 0;
  // A CTAP2 result behind keep-alives.
  bool ctapPending_ = false;
  std::vector<uint8_t> ctapReply_;
  uint32_t keepAlivesLeft_ = 0;
  uint64_t touchDoneMs_ = 0;
};
