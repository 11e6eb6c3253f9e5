// Arbitrary card answers behind a reader, one per transmitted APDU (a length
// byte, then the answer; 0xFF as length: the card is taken away): the
// applet's SELECT answer, the extended probe and its fall-back, and the
// exchanges of the refresh must end in a result without reading past an
// answer or looping without end.
#include <cstdint>
#include <vector>

#include "simkey/sim_clock.h"
#include "transport/card_session.h"
#include "transport/ctaphid.h"

namespace {

class FuzzCard : public CardPlatform {
 public:
  std::vector<std::vector<uint8_t>> answers;
  std::vector<bool> removed;
  size_t next = 0;

  int ListReaders(std::vector<CardReader>& out) override {
    out = {{"Reader", true, {}}};
    return CARD_OK;
  }
  int Connect(const std::string&, CardHandle* handle, CardProtocol* protocol,
              std::vector<uint8_t>& atr) override {
    *handle = 1;
    *protocol = CardProtocol::kT1;
    atr = {0x3B, 0x80};
    return CARD_OK;
  }
  int Transmit(CardHandle, CardProtocol, const std::vector<uint8_t>&,
               std::vector<uint8_t>& response) override {
    if (next >= answers.size()) return CARD_REMOVED;
    const size_t index = next++;
    if (removed[index]) return CARD_REMOVED;
    response = answers[index];
    return CARD_OK;
  }
  void Disconnect(CardHandle) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCard card;
  for (size_t offset = 0; offset < size;) {
    const size_t length = data[offset++];
    if (length == 0xFF) {
      card.answers.emplace_back();
      card.removed.push_back(true);
      continue;
    }
    if (offset + length > size) break;
    card.answers.emplace_back(data + offset, data + offset + length);
    card.removed.push_back(false);
    offset += length;
  }
  SimClock clock;
  CardSession session(card, clock);
  if (session.Open("Reader") != CARD_OK) return 0;
  const uint8_t getInfo[] = {0x04};
  const uint8_t select[] = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01};
  std::vector<uint8_t> reply;
  for (int round = 0; round < 3; ++round) {
    session.Exchange(CTAPHID_MSG, select, sizeof select, reply);
    if (session.Exchange(CTAPHID_CBOR, getInfo, sizeof getInfo, reply) == APDU_OK &&
        (reply.empty() || reply.size() > CTAPHID_MAX_MESSAGE)) {
      __builtin_trap();
    }
  }
  return 0;
}
