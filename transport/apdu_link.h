// A FIDO card's questions and answers over any "exchange one APDU" callable:
// command chaining or extended APDUs, response chaining (61XX, then GET
// RESPONSE), CTAP2 messages as NFCCTAP_MSG with their keep-alives (9100,
// then NFCCTAP_GETRESPONSE), and the mapping of the CTAPHID commands onto
// these in one place. No I/O of its own: the card platform and the tests
// hand in the exchange and the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "transport/apdu_framing.h"
#include "transport/ctaphid.h"
#include "transport/key_clock.h"
#include "transport/key_device.h"

constexpr int APDU_OK = 0;
constexpr int APDU_LINK_FAILED = -1;        // the exchange callable failed
constexpr int APDU_TRUNCATED = -2;          // an answer without its status word
constexpr int APDU_TOO_LONG = -3;           // the whole answer past the bound
constexpr int APDU_TOO_MANY_ROUNDS = -4;    // more GET RESPONSE rounds than the bound
constexpr int APDU_BAD_REQUEST = -5;        // a request no APDU form carries
constexpr int APDU_KEEPALIVE_EXPIRED = -6;  // 9100 past the keep-alive budget
constexpr int APDU_REFUSED = -7;            // the card ended a CTAP2 message with another status

constexpr uint8_t NFCCTAP_CLA = 0x80;
constexpr uint8_t NFCCTAP_MSG = 0x10;
constexpr uint8_t NFCCTAP_GETRESPONSE = 0x11;
// P1 of NFCCTAP_MSG: the host takes 9100 keep-alives.
constexpr uint8_t NFCCTAP_P1_KEEPALIVE = 0x80;
constexpr uint16_t NFCCTAP_SW_KEEPALIVE = 0x9100;

inline constexpr uint8_t FIDO_AID[8] = {0xA0, 0x00, 0x00, 0x06, 0x47, 0x2F, 0x00, 0x01};

// Sends one command APDU and stores the bytes that came back (data, then the
// status word, as received); 0 when an answer came, anything else when the
// link failed (the platform records why).
using ApduExchange =
    std::function<int(const std::vector<uint8_t>& command, std::vector<uint8_t>& response)>;

struct ApduLinkOptions {
  ApduForm form = ApduForm::kShort;
  // The longest answer taken, its pieces together; CTAPHID's message bound.
  size_t maxAnswer = CTAPHID_MAX_MESSAGE;
  uint32_t maxGetResponseRounds = 64;
  // As CTAPHID's keep-alives: a card that says "still working" for longer
  // than this fails the message.
  uint32_t keepAliveLimitMs = KEY_KEEPALIVE_LIMIT_MS;
  uint32_t keepAlivePollMs = 100;
};

class ApduLink {
 public:
  ApduLink(ApduExchange exchange, KeyClock& clock, ApduLinkOptions options = {});

  // One command in the link's form; the answer's data, its pieces gathered,
  // in `data` and the last status word in `sw`. APDU_OK whatever that status
  // word is.
  int Transmit(const ApduCommand& command, std::vector<uint8_t>& data, uint16_t* sw);
  // A whole APDU as CTAPHID MSG carries it (U2F), re-framed for the card;
  // `reply` is the data, then the status word.
  int TransmitApdu(const uint8_t* apdu, size_t length, std::vector<uint8_t>& reply);
  // A CTAP2 message (command byte, then CBOR); `reply` is the CTAP status
  // byte, then CBOR. APDU_REFUSED, with `sw`, when the card ends with
  // anything but 9000.
  int TransmitCtap(const uint8_t* message, size_t length, std::vector<uint8_t>& reply,
                   uint16_t* sw);
  // The CTAPHID command `command` (CTAPHID_MSG or CTAPHID_CBOR) as the card
  // takes it; other commands have no card form (APDU_BAD_REQUEST). A CBOR
  // reply without its status byte is APDU_TRUNCATED.
  int Exchange(uint8_t command, const uint8_t* request, size_t length, std::vector<uint8_t>& reply);

  // Called with the keep-alive status byte of each 9100 (0 when it had none).
  void SetKeepAliveHook(std::function<void(uint8_t)> hook) { keepAliveHook_ = std::move(hook); }
  const ApduLinkOptions& options() const { return options_; }

 private:
  int Send(const std::vector<uint8_t>& block, std::vector<uint8_t>& response);
  // Takes `response` and the GET RESPONSE rounds it asks for into `data`.
  int Gather(std::vector<uint8_t>& response, std::vector<uint8_t>& data, uint16_t* sw);
  uint32_t MaxLe() const;

  ApduExchange exchange_;
  KeyClock& clock_;
  ApduLinkOptions options_;
  std::function<void(uint8_t)> keepAliveHook_;
};
