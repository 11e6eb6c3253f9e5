#include "transport/apdu_link.h"

#include <algorithm>

ApduLink::ApduLink(ApduExchange exchange, KeyClock& clock, ApduLinkOptions options)
    : exchange_(std::move(exchange)), clock_(clock), options_(options) {}

uint32_t ApduLink::MaxLe() const {
  return options_.form == ApduForm::kShort ? APDU_SHORT_MAX_LE : APDU_EXTENDED_MAX_LE;
}

int ApduLink::Send(const std::vector<uint8_t>& block, std::vector<uint8_t>& response) {
  response.clear();
  if (exchange_(block, response) != 0) return APDU_LINK_FAILED;
  if (response.size() < 2) return APDU_TRUNCATED;
  return APDU_OK;
}

int ApduLink::Gather(std::vector<uint8_t>& response, std::vector<uint8_t>& data, uint16_t* sw) {
  for (uint32_t rounds = 0;; ++rounds) {
    size_t length = 0;
    uint16_t status = 0;
    if (!ApduSplitResponse(response.data(), response.size(), &length, &status)) {
      return APDU_TRUNCATED;
    }
    if (length > options_.maxAnswer - data.size()) return APDU_TOO_LONG;
    data.insert(data.end(), response.begin(), response.begin() + static_cast<ptrdiff_t>(length));
    if ((status >> 8) != APDU_SW1_MORE_DATA) {
      *sw = status;
      return APDU_OK;
    }
    if (rounds >= options_.maxGetResponseRounds) return APDU_TOO_MANY_ROUNDS;
    const uint8_t more = static_cast<uint8_t>(status);
    ApduCommand get;
    get.ins = APDU_INS_GET_RESPONSE;
    get.le = more == 0 ? APDU_SHORT_MAX_LE : more;
    std::vector<uint8_t> block;
    ApduEncode(get, ApduForm::kShort, block);
    if (const int result = Send(block, response); result != APDU_OK) return result;
  }
}

int ApduLink::Transmit(const ApduCommand& command, std::vector<uint8_t>& data, uint16_t* sw) {
  data.clear();
  std::vector<std::vector<uint8_t>> blocks;
  if (options_.form == ApduForm::kExtended) {
    blocks.emplace_back();
    if (!ApduEncode(command, ApduForm::kExtended, blocks.back())) return APDU_BAD_REQUEST;
  } else if (!ApduChain(command, blocks)) {
    return APDU_BAD_REQUEST;
  }
  std::vector<uint8_t> response;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (const int result = Send(blocks[i], response); result != APDU_OK) return result;
    if (i + 1 == blocks.size()) break;
    // A block of the chain refused ends the command with that answer.
    if (response[response.size() - 2] != 0x90 || response.back() != 0x00) break;
  }
  return Gather(response, data, sw);
}

int ApduLink::TransmitApdu(const uint8_t* apdu, size_t length, std::vector<uint8_t>& reply) {
  ApduCommand command;
  if (!ApduParseCommand(apdu, length, command)) return APDU_BAD_REQUEST;
  command.le = std::min(command.le, MaxLe());
  uint16_t sw = 0;
  if (const int result = Transmit(command, reply, &sw); result != APDU_OK) return result;
  reply.push_back(static_cast<uint8_t>(sw >> 8));
  reply.push_back(static_cast<uint8_t>(sw));
  return APDU_OK;
}
