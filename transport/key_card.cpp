// Cards on readers as keys of the transport: enumerated after the HID
// interfaces, and the exchange carried to them as APDUs.
#include <cstring>

#include "transport/card_session.h"
#include "transport/key_device.h"

void KeyDevice::SetCardPlatform(CardPlatform* cards) {
  if (selected.card) selected = KeyDeviceInfo();
  std::erase_if(devices, [](const KeyDeviceInfo& info) { return info.card; });
  cardSessions_.clear();
  cardStatus = CARD_OK;
  cards_ = cards;
}

const CardSession* KeyDevice::selectedCard() const {
  if (!selected.card || selected.readHandle < 0 ||
      static_cast<size_t>(selected.readHandle) >= cardSessions_.size()) {
    return nullptr;
  }
  return cardSessions_[static_cast<size_t>(selected.readHandle)].get();
}

void KeyDevice::EnumerateCards() {
  cardStatus = CARD_OK;
  if (cards_ == nullptr) return;
  // A key named otherwise is no card.
  if (hasNamed_ && named_.kind != DeviceName::Kind::kPcsc) return;
  std::vector<CardReader> readers;
  cardStatus = cards_->ListReaders(readers);
  if (cardStatus != CARD_OK) return;
  std::vector<std::string> wanted;
  if (hasNamed_) {
    wanted = CardReadersNamed(readers, named_.host);
    // A prefix that two readers share names neither.
    if (wanted.size() != 1) return;
  }
  for (const CardReader& reader : readers) {
    if (!reader.present) continue;
    if (hasNamed_ && reader.name != wanted.front()) continue;
    auto session = std::make_unique<CardSession>(*cards_, *clock_);
    if (session->Open(reader.name) != CARD_OK) continue;
    KeyDeviceInfo info;
    info.card = true;
    info.productName = reader.name;
    info.path = CardKeyPath(reader.name);
    info.usagePage = FIDO_USAGE_PAGE;
    info.readHandle = info.writeHandle = static_cast<KeyHandle>(cardSessions_.size());
    cardSessions_.push_back(std::move(session));
    devices.push_back(std::move(info));
  }
}

int KeyDevice::ExchangeOnCard(const uint8_t* request, size_t requestLength, uint8_t* reply,
                              uint32_t* replyLength, uint8_t command) {
  const CardSession* known = selectedCard();
  if (known == nullptr) return -1;
  CardSession& card = *cardSessions_[static_cast<size_t>(selected.readHandle)];
  std::vector<uint8_t> answer;
  const int result = card.Exchange(command, request, requestLength, answer);
  lastExchangeLinkLost = card.linkLost();
  lastExchangeTimedOut = card.timedOut();
  if (result != APDU_OK) return -1;
  if (answer.size() > *replyLength) return -1;
  std::memcpy(reply, answer.data(), answer.size());
  *replyLength = static_cast<uint32_t>(answer.size());
  return 0;
}
