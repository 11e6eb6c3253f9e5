// The operating system's smart-card services, as the transport sees them:
// readers, the card on each, and one APDU at a time to a connected card. The
// real implementation sits on pcsc-lite; tests may put in their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using CardHandle = intptr_t;

constexpr int CARD_OK = 0;
constexpr int CARD_NO_SERVICE = -1;  // the smart-card service is not running
constexpr int CARD_FAILED = -2;      // any other failure of the service
constexpr int CARD_NO_CARD = -3;     // no card on the reader
constexpr int CARD_REMOVED = -4;     // the card left, or was reset by another program

enum class CardProtocol { kNone, kT0, kT1 };

struct CardReader {
  std::string name;
  bool present = false;
  std::vector<uint8_t> atr;  // empty without a card
};

class CardPlatform {
 public:
  virtual ~CardPlatform() = default;
  // Every reader the service knows, with its card's ATR; CARD_OK with none
  // when there is no reader.
  virtual int ListReaders(std::vector<CardReader>& out) = 0;
  // A shared connection, T=0 or T=1 as the card takes.
  virtual int Connect(const std::string& reader, CardHandle* handle, CardProtocol* protocol,
                      std::vector<uint8_t>& atr) = 0;
  // One command APDU; `response` is the data and status word as received.
  virtual int Transmit(CardHandle handle, CardProtocol protocol,
                       const std::vector<uint8_t>& command, std::vector<uint8_t>& response) = 0;
  virtual void Disconnect(CardHandle handle) = 0;
};

const char* CardProtocolText(CardProtocol protocol);
