#include "transport/card_session.h"

#include <cstring>

namespace {

constexpr uint8_t kSelectIns = 0xA4;
constexpr uint8_t kSelectByName = 0x04;

bool IsSelect(const uint8_t* apdu, size_t length) {
  return length >= 5 && (apdu[0] & ~APDU_CLA_CHAINING) == 0x00 && apdu[1] == kSelectIns &&
         apdu[2] == kSelectByName;
}

}  // namespace

CardSession::~CardSession() { Close(); }

void CardSession::Close() {
  if (connected_) platform_.Disconnect(handle_);
  connected_ = false;
  fidoSelected_ = false;
}

void CardSession::UseForm(ApduForm form) {
  const auto transmit = [this](const std::vector<uint8_t>& command,
                               std::vector<uint8_t>& response) {
    int result = platform_.Transmit(handle_, facts_.protocol, command, response);
    // Every card answer ends in a status word; a reader that hands back less
    // has lost the card (vpcd does when its card goes mid-command).
    if (result == CARD_OK && response.size() < 2) result = CARD_REMOVED;
    if (result != CARD_OK) linkLost_ = true;
    return result;
  };
  ApduLinkOptions options;
  options.form = form;
  facts_.extended = form == ApduForm::kExtended;
  link_ = std::make_unique<ApduLink>(transmit, clock_, options);
  short_ = std::make_unique<ApduLink>(transmit, clock_, ApduLinkOptions());
}

int CardSession::SelectFido() {
  fidoSelected_ = false;
  ApduCommand select;
  select.ins = kSelectIns;
  select.p1 = kSelectByName;
  select.data = FIDO_AID;
  select.length = sizeof FIDO_AID;
  select.le = APDU_SHORT_MAX_LE;
  std::vector<uint8_t> answer;
  uint16_t sw = 0;
  const int result = short_->Transmit(select, answer, &sw);
  if (result != APDU_OK) return linkLost_ ? CARD_REMOVED : CARD_FAILED;
  if (sw != APDU_SW_OK) return CARD_FAILED;
  facts_.applet.clear();
  for (uint8_t byte : answer) {
    if (facts_.applet.size() >= 32) break;
    facts_.applet += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
  }
  fidoSelected_ = true;
  return CARD_OK;
}

int CardSession::Open(const std::string& reader, bool probeExtended) {
  Close();
  facts_ = CardFacts();
  facts_.reader = reader;
  linkLost_ = false;
  if (const int result = platform_.Connect(reader, &handle_, &facts_.protocol, facts_.atr);
      result != CARD_OK) {
    return result;
  }
  connected_ = true;
  UseForm(ApduForm::kShort);
  if (const int result = SelectFido(); result != CARD_OK) return result;
  if (!probeExtended || facts_.applet == "U2F_V2") return CARD_OK;

  UseForm(ApduForm::kExtended);
  const uint8_t getInfo[] = {0x04};
  std::vector<uint8_t> reply;
  uint16_t sw = 0;
  const int probe = link_->TransmitCtap(getInfo, sizeof getInfo, reply, &sw);
  if (probe == APDU_OK) return CARD_OK;
  // 6700, a transmit error or any other refusal: short APDUs, on a freshly
  // selected applet since the failed command may have left it anywhere.
  linkLost_ = false;
  UseForm(ApduForm::kShort);
  return SelectFido();
}

int CardSession::Exchange(uint8_t command, const uint8_t* request, size_t length,
                          std::vector<uint8_t>& reply) {
  linkLost_ = false;
  timedOut_ = false;
  reply.clear();
  if (!connected_ || link_ == nullptr) {
    linkLost_ = true;
    return APDU_LINK_FAILED;
  }
  if (command == CTAPHID_CBOR && !fidoSelected_ && SelectFido() != CARD_OK) {
    return linkLost_ ? APDU_LINK_FAILED : APDU_REFUSED;
  }
  ApduLink& link = command == CTAPHID_CBOR ? *link_ : *short_;
  const int result = link.Exchange(command, request, length, reply);
  if (result == APDU_KEEPALIVE_EXPIRED) timedOut_ = true;
  if (result == APDU_OK && command == CTAPHID_MSG && IsSelect(request, length) &&
      reply.size() >= 2 && reply[reply.size() - 2] == 0x90 && reply.back() == 0x00) {
    // Another applet took the FIDO applet's place unless this names it.
    ApduCommand parsed;
    fidoSelected_ = ApduParseCommand(request, length, parsed) && parsed.length == sizeof FIDO_AID &&
                    std::memcmp(parsed.data, FIDO_AID, sizeof FIDO_AID) == 0;
  }
  return result;
}

std::vector<std::string> CardReadersNamed(const std::vector<CardReader>& readers,
                                          const std::string& name) {
  std::vector<std::string> out;
  for (const CardReader& reader : readers) {
    if (reader.name == name) return {reader.name};
    if (reader.name.compare(0, name.size(), name) == 0) out.push_back(reader.name);
  }
  return out;
}
