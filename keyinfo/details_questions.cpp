#include "keyinfo/details_questions.h"

#include <cstring>

#include "keyinfo/applet_queries.h"
#include "transport/key_device.h"

namespace {

constexpr uint8_t kClientPinCommand = 0x06;
constexpr uint8_t kGetPinRetries = 0x01;
constexpr uint8_t kGetUvRetries = 0x07;
constexpr uint8_t kRetriesMember = 0x03;
constexpr uint8_t kPowerCycleStateMember = 0x04;
constexpr uint8_t kUvRetriesMember = 0x05;
// A retries answer is a map of two small members.
constexpr uint32_t kAnswerCapacity = 64;

bool HasOption(const CborNode& getInfo, const char* name) {
  const CborNode* options = CborMapValue(getInfo, 0x04);
  return options != nullptr && CborMapValue(*options, name) != nullptr;
}

// The key's most preferred PIN/UV protocol among those this program speaks;
// protocol 1 when it lists none of them (CTAP 2.0 keys need one named).
uint8_t PreferredProtocol(const CborNode& getInfo) {
  const CborNode* protocols = CborMapValue(getInfo, 0x06);
  if (protocols != nullptr && protocols->IsArray()) {
    for (const CborNode& protocol : protocols->children) {
      if (protocol.IsUnsigned() && (protocol.argument == 1 || protocol.argument == 2)) {
        return static_cast<uint8_t>(protocol.argument);
      }
    }
  }
  return 1;
}

// The answer map to {1: protocol, 2: subCommand}, decoded; false when the key
// refuses or the answer is not a map.
bool Ask(uint8_t protocol, uint8_t subCommand, CborNode& answer) {
  const uint8_t request[] = {kClientPinCommand, 0xA2, 0x01, protocol, 0x02, subCommand};
  // Zero-filled: an answer that is the status byte alone reads as 0, no map.
  uint8_t reply[kAnswerCapacity];
  std::memset(reply, 0, sizeof reply);
  uint32_t replyLength = sizeof reply;
  if (KeySendCbor(request, sizeof request, reply, &replyLength) != 0) return false;
  if (replyLength > sizeof reply) return false;
  return CborDecode(reply, replyLength, answer).status == CborDecodeStatus::kOk && answer.IsMap();
}

}  // namespace

KeyRetries AskKeyRetries(const CborNode& getInfo) {
  KeyRetries retries;
  if (!getInfo.IsMap()) return retries;
  const uint8_t protocol = PreferredProtocol(getInfo);
  CborNode answer;
  if (HasOption(getInfo, "clientPin") && Ask(protocol, kGetPinRetries, answer)) {
    const CborNode* count = CborMapValue(answer, kRetriesMember);
    if (count != nullptr && count->IsUnsigned()) {
      retries.pinKnown = true;
      retries.pin = count->argument;
      const CborNode* powerCycle = CborMapValue(answer, kPowerCycleStateMember);
      retries.powerCycleNeeded =
          powerCycle != nullptr && powerCycle->IsBool() && powerCycle->argument == 21;
    }
  }
  if (HasOption(getInfo, "uv") && Ask(protocol, kGetUvRetries, answer)) {
    const CborNode* count = CborMapValue(answer, kUvRetriesMember);
    if (count != nullptr && count->IsUnsigned()) {
      retries.uvKnown = true;
      retries.uv = count->argument;
    }
  }
  return retries;
}

void FillDetailsPage(QuillmarkModel& model, const uint8_t* getInfo, uint32_t length,
                     uint32_t capacity) {
  DetailsFacts facts;
  facts.init = KeyDevice::Instance().initFacts;
  if (const CardSession* card = KeyDevice::Instance().selectedCard()) facts.card = &card->facts();
  // The CTAP wrapper leaves the length as it was when the answer is the
  // status byte alone; a real answer never fills the refresh's buffer, since
  // a reply holds fewer bytes than that buffer has.
  static_assert(KEY_REPLY_BUFFER_SIZE <= GETINFO_RESPONSE_CAPACITY);
  if (getInfo != nullptr && length < capacity) {
    facts.getInfo = getInfo;
    facts.getInfoLength = length;
  }
  CborNode decoded;
  if (facts.getInfo != nullptr) CborDecode(facts.getInfo, facts.getInfoLength, decoded);
  facts.retries = AskKeyRetries(decoded);
  ShowDetailsPage(model, facts);
}
