// The card platform on pcsc-lite (the pcscd service). The context is made on
// first use and made again once the service has gone away; with no service
// every call answers CARD_NO_SERVICE and the USB side goes on as before.
#pragma once

#include <winscard.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "transport/card_platform.h"

class PcscPlatform final : public CardPlatform {
 public:
  static PcscPlatform& Instance();
  ~PcscPlatform() override;

  int ListReaders(std::vector<CardReader>& out) override;
  int Connect(const std::string& reader, CardHandle* handle, CardProtocol* protocol,
              std::vector<uint8_t>& atr) override;
  int Transmit(CardHandle handle, CardProtocol protocol, const std::vector<uint8_t>& command,
               std::vector<uint8_t>& response) override;
  void Disconnect(CardHandle handle) override;

 private:
  PcscPlatform() = default;
  int Context();
  void DropContext();
  // Runs `call` on the context, and once more on a fresh one when the first
  // was stale; CARD_OK with the call's `result`, or the context's problem.
  int OnContext(const std::function<LONG()>& call, LONG& result);
  LONG ListReadersOnce(std::vector<CardReader>& out);

  std::mutex mutex_;
  SCARDCONTEXT context_ = 0;
  bool hasContext_ = false;
};

// CARD_* for a pcsc-lite result.
int PcscResult(LONG result);

// Follows readers and cards on a thread of its own: `changed` is called on
// that thread with the reader and whether a card is on it, after every change
// of a reader's card and for a reader that arrived with a card. Stop() cancels the wait
// and joins the thread.
//
// When the service goes away, every card seen is told gone and then `ended`
// is called on that thread; the watch is over until Start() is called again.
class PcscWatcher {
 public:
  PcscWatcher() = default;
  ~PcscWatcher() { Stop(); }
  PcscWatcher(const PcscWatcher&) = delete;
  PcscWatcher& operator=(const PcscWatcher&) = delete;

  using Changed = std::function<void(const std::string& reader, bool present)>;
  // False when the service cannot be reached. With `tellCardsPresent` the
  // cards already on readers are told as arrivals; otherwise the first look
  // only says how things stand.
  bool Start(Changed changed, std::function<void()> ended = nullptr, bool tellCardsPresent = false);
  void Stop();

 private:
  void Run(bool tellCardsPresent);

  Changed changed_;
  std::function<void()> ended_;
  SCARDCONTEXT context_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
