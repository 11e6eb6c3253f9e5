// One FIDO card on one reader: the shared connection, the FIDO applet
// selected, and the CTAPHID commands carried to it as APDUs. Extended APDUs
// are used when the card takes an extended GetInfo; otherwise short APDUs
// with chaining.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "transport/apdu_link.h"
#include "transport/card_platform.h"

struct CardFacts {
  std::string reader;
  std::vector<uint8_t> atr;
  CardProtocol protocol = CardProtocol::kNone;
  bool extended = false;
  // What the FIDO applet answered its SELECT with ("FIDO_2_0", "U2F_V2"), as
  // printable text; empty until it answered 9000.
  std::string applet;
};

class CardSession {
 public:
  CardSession(CardPlatform& platform, KeyClock& clock) : platform_(platform), clock_(clock) {}
  ~CardSession();
  CardSession(const CardSession&) = delete;
  CardSession& operator=(const CardSession&) = delete;

  // CARD_OK when the card on `reader` answered the FIDO applet's SELECT with
  // 9000; CARD_FAILED when it refused (no FIDO card), else the platform's
  // code. `probeExtended`: try an extended GetInfo to choose the form.
  int Open(const std::string& reader, bool probeExtended = true);
  // A CTAPHID command (MSG or CBOR) as ApduLink::Exchange takes it. The FIDO
  // applet is selected again first when another applet's SELECT took its
  // place.
  int Exchange(uint8_t command, const uint8_t* request, size_t length, std::vector<uint8_t>& reply);

  const CardFacts& facts() const { return facts_; }
  // Of the last Exchange: the card or reader failed, or the card kept
  // sending keep-alives past the budget.
  bool linkLost() const { return linkLost_; }
  bool timedOut() const { return timedOut_; }

 private:
  void UseForm(ApduForm form);
  int SelectFido();
  void Close();

  CardPlatform& platform_;
  KeyClock& clock_;
  CardFacts facts_;
  CardHandle handle_ = 0;
  bool connected_ = false;
  bool fidoSelected_ = false;
  bool linkLost_ = false;
  bool timedOut_ = false;
  // CTAP2 messages in the form the card takes; every other APDU short, as
  // its sender framed it, since applets other than FIDO's may not take
  // extended APDUs.
  std::unique_ptr<ApduLink> link_;
  std::unique_ptr<ApduLink> short_;
};

// The path of the card on `reader` among the keys: "pcsc:" and the name,
// as --device takes it.
inline std::string CardKeyPath(const std::string& reader) { return "pcsc:" + reader; }

// The readers that `name` picks: the reader of exactly that name, else every
// reader whose name starts with it.
std::vector<std::string> CardReadersNamed(const std::vector<CardReader>& readers,
                                          const std::string& name);
