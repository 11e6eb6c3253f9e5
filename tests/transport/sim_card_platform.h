// A card platform of simulated readers for tests: each reader empty, holding
// simkey's card, or a card without the FIDO applet; a card can be taken away.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "simkey/sim_card.h"
#include "transport/card_platform.h"

struct SimReader {
  std::string name;
  std::unique_ptr<SimCard> card;  // null: an empty reader
  bool fido = true;               // false: a card without the FIDO applet
  bool removed = false;
  bool emptyAnswers = false;  // transmits succeed with no bytes, as vpcd's do once its card left
};

class SimCardPlatform : public CardPlatform {
 public:
  std::vector<SimReader> readers;
  SimClock clock;

  void Add(const std::string& name, SimCardOptions options, bool fido = true) {
    SimDeviceConfig config;
    config.card = options;
    readers.push_back({name, std::make_unique<SimCard>(config, clock), fido, false, false});
  }
  int ListReaders(std::vector<CardReader>& out) override {
    out.clear();
    for (const SimReader& reader : readers)
      out.push_back({reader.name, reader.card != nullptr, {}});
    return CARD_OK;
  }
  int Connect(const std::string& name, CardHandle* handle, CardProtocol* protocol,
              std::vector<uint8_t>& atr) override {
    for (size_t i = 0; i < readers.size(); ++i) {
      if (readers[i].name != name || readers[i].card == nullptr) continue;
      *handle = static_cast<CardHandle>(i);
      *protocol = CardProtocol::kT1;
      atr = readers[i].card->Control(SIM_CARD_ATR_REQUEST);
      return CARD_OK;
    }
    return CARD_NO_CARD;
  }
  int Transmit(CardHandle handle, CardProtocol, const std::vector<uint8_t>& command,
               std::vector<uint8_t>& response) override {
    SimReader& reader = readers[static_cast<size_t>(handle)];
    if (reader.removed) return CARD_REMOVED;
    if (reader.emptyAnswers) {
      response.clear();
      return CARD_OK;
    }
    response = reader.fido ? reader.card->Transmit(command) : std::vector<uint8_t>{0x6A, 0x82};
    return CARD_OK;
  }
  void Disconnect(CardHandle) override {}
};
