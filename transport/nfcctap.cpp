// CTAP2 over a card: NFCCTAP_MSG, its keep-alives, and the CTAPHID mapping.
#include <algorithm>

#include "transport/apdu_link.h"

int ApduLink::TransmitCtap(const uint8_t* message, size_t length, std::vector<uint8_t>& reply,
                           uint16_t* sw) {
  if (message == nullptr || length == 0) return APDU_BAD_REQUEST;
  ApduCommand command;
  command.cla = NFCCTAP_CLA;
  command.ins = NFCCTAP_MSG;
  command.p1 = NFCCTAP_P1_KEEPALIVE;
  command.data = message;
  command.length = length;
  command.le = MaxLe();

  const uint64_t start = clock_.NowMs();
  // A clock that does not move cannot stretch the budget without end.
  const uint32_t maxPolls =
      options_.keepAliveLimitMs / std::max<uint32_t>(options_.keepAlivePollMs, 1) + 1;
  uint16_t status = 0;
  int result = Transmit(command, reply, &status);
  for (uint32_t polls = 0; result == APDU_OK && status == NFCCTAP_SW_KEEPALIVE; ++polls) {
    if (keepAliveHook_) keepAliveHook_(reply.empty() ? 0 : reply[0]);
    if (polls >= maxPolls || clock_.NowMs() - start > options_.keepAliveLimitMs) {
      return APDU_KEEPALIVE_EXPIRED;
    }
    clock_.SleepMs(options_.keepAlivePollMs);
    ApduCommand poll;
    poll.cla = NFCCTAP_CLA;
    poll.ins = NFCCTAP_GETRESPONSE;
    poll.le = MaxLe();
    result = Transmit(poll, reply, &status);
  }
  if (result != APDU_OK) return result;
  if (sw != nullptr) *sw = status;
  return status == APDU_SW_OK ? APDU_OK : APDU_REFUSED;
}

int ApduLink::Exchange(uint8_t command, const uint8_t* request, size_t length,
                       std::vector<uint8_t>& reply) {
  reply.clear();
  if (command == CTAPHID_MSG) return TransmitApdu(request, length, reply);
  if (command != CTAPHID_CBOR) return APDU_BAD_REQUEST;
  const int result = TransmitCtap(request, length, reply, nullptr);
  // 9000 without a status byte must not read as CTAP status 0.
  if (result == APDU_OK && reply.empty()) return APDU_TRUNCATED;
  return result;
}
