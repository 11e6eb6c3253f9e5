// The process-wide transport object and the plain functions over it: discovery
// and selection of one FIDO interface, and the CTAPHID exchange with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/card_platform.h"
#include "transport/device_name.h"
#include "transport/hid_platform.h"
#include "transport/key_clock.h"
#include "transport/key_device_info.h"
#include "transport/key_init_facts.h"

constexpr uint16_t KEY_STATUS_TRANSPORT_ERROR = 0xFFFB;
constexpr uint16_t KEY_STATUS_NO_BUFFER = 0xFFFE;

// The wrappers receive into a buffer of their own of this size.
constexpr uint32_t KEY_REPLY_BUFFER_SIZE = 4096;
// The exchange's report buffer; interfaces with longer reports are refused.
constexpr uint16_t KEY_REPORT_BUFFER_SIZE = 100;
// A key that sends nothing for this long fails the exchange. Every keep-alive
// starts the wait again.
constexpr int KEY_READ_TIMEOUT_MS = 5000;
// A key that sends keep-alives without end fails the exchange after this long.
// Keys give up waiting for a touch themselves well before it.
constexpr uint32_t KEY_KEEPALIVE_LIMIT_MS = 60000;

// One exchange as it ended, for an exchange observer. The pointers are valid
// only during the call.
struct KeyExchangeOutcome {
  uint8_t command = 0;  // the CTAPHID command of the request
  const uint8_t* request = nullptr;
  size_t requestLength = 0;
  // The whole reassembled reply when the exchange succeeded; empty otherwise.
  const uint8_t* reply = nullptr;
  size_t replyLength = 0;
  bool succeeded = false;
  // A failure because nothing (or not all of the reply) came back in time.
  bool timedOut = false;
  // A failure because the link itself failed: a read or write error, the
  // connection closed, the interface gone.
  bool linkLost = false;
};
using KeyExchangeObserver = std::function<void(const KeyExchangeOutcome&)>;

// The gate that the first refresh opens; nothing closes it.
extern bool KeyLayerReady;

class CardSession;

struct KeyVendorFilterRow {
  uint32_t vendorId;
  uint32_t productId;  // 0: any product of the vendor
};
extern const KeyVendorFilterRow KeyVendorFilter[3];
bool KeyVendorFilterKeeps(uint32_t vendorId, uint32_t productId);

class KeyDevice {
 public:
  static KeyDevice& Instance();

  std::vector<KeyDeviceInfo> devices;
  int openedCount = 0;
  KeyDeviceInfo selected;
  uint8_t channelId[4] = {0, 0, 0, 0};
  bool needInit = true;
  // From the last channel allocation; cleared when a new one starts.
  KeyInitFacts initFacts;
  // Kept FIDO interfaces that exist but could not be opened (missing access
  // rights, most often), from the last enumeration.
  std::vector<std::string> deniedPaths;
  // The last exchange failed because nothing (or not all of the reply) came
  // back in time: the key may have hung, and every further request would
  // wait as long again.
  bool lastExchangeTimedOut = false;
  // The last exchange failed because the link did: the key was pulled out or
  // its connection closed, and every further request would fail too.
  bool lastExchangeLinkLost = false;
  // Of the last enumeration's card readers: CARD_NO_SERVICE when pcscd was
  // not running, CARD_OK otherwise (also without a card platform).
  int cardStatus = 0;

  int Enumerate();
  // Sends one message on the selected interface and reassembles its reply.
  // `replyLength`: in, the capacity of `reply`; out, the reply's length.
  // Answers 0 on success, -1 on any failure.
  int Exchange(const uint8_t* request, int requestLength, uint8_t* reply, uint32_t* replyLength,
               uint8_t command);
  void Close();

  // Plumbing: the platform, the clock and the hook called while a key keeps
  // the exchange waiting (keep-alives). Null restores the defaults.
  void SetPlatform(HidPlatform* platform);
  void SetClock(KeyClock* clock);
  void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
  // Told of every exchange that got as far as the key (its arguments were
  // good and an interface is selected), after it ended. Null: none.
  void SetExchangeObserver(KeyExchangeObserver observer) { observer_ = std::move(observer); }
  // For waits outside the exchange (a poll for the user's touch).
  void NotifyWaiting() {
    if (waitHook_) waitHook_();
  }
  HidPlatform& platform();
  // Cards on readers: enumeration adds the FIDO cards after the HID
  // interfaces, unless the user named a key that is not a card. Null: none.
  void SetCardPlatform(CardPlatform* cards);
  CardPlatform* cardPlatform() const { return cards_; }
  // The session of the selected card; null when a HID interface or nothing
  // is selected.
  const CardSession* selectedCard() const;
  KeyClock& clock() { return *clock_; }

  // A key named by the user: enumeration then keeps exactly the interfaces
  // it names (by path, or by vendor and product id), whatever their vendor.
  // Null returns to the vendor filter.
  void SetNamedDevice(const DeviceName* name);
  const DeviceName* namedDevice() const { return hasNamed_ ? &named_ : nullptr; }
  // Keys of every maker: without a named key, enumeration then keeps every
  // FIDO interface (usage page F1D0) instead of the vendor filter's, and
  // still opens no other interface.
  void SetAllVendors(bool on) { allVendors_ = on; }
  bool allVendors() const { return allVendors_; }
  // Whether enumeration keeps an interface with these facts.
  bool Keeps(const HidInterface& facts) const;

  ~KeyDevice();

 private:
  KeyDevice();
  bool AllocateChannel(KeyHandle readHandle, KeyHandle writeHandle, uint16_t inputLength,
                       uint16_t outputLength);
  int ReadReport(KeyHandle handle, uint8_t* report, uint16_t length, uint64_t deadline);
  bool WriteReport(KeyHandle handle, const uint8_t* report, uint16_t length);
  int ExchangeOnSelected(const uint8_t* request, size_t requestLength, uint8_t* reply,
                         uint32_t* replyLength, uint8_t command);

  void EnumerateCards();
  int ExchangeOnCard(const uint8_t* request, size_t requestLength, uint8_t* reply,
                     uint32_t* replyLength, uint8_t command);

  HidPlatform* platform_ = nullptr;
  CardPlatform* cards_ = nullptr;
  std::vector<std::unique_ptr<CardSession>> cardSessions_;
  KeyClock* clock_;
  std::function<void()> waitHook_;
  KeyExchangeObserver observer_;
  bool hasNamed_ = false;
  DeviceName named_;
  bool allVendors_ = false;
};

// The transport's clock as it is at each call (the system's, or the one a
// test or the simulated key put in): the one time source of every wait.
KeyClock& KeyTransportClock();

int KeyEnumerate();
// Whether the last exchange ended because the key sent nothing in time.
bool KeyLastExchangeTimedOut();
// Whether the last exchange ended because the link failed (a read or write
// error, the connection closed). A key answering a CTAPHID error is not one.
bool KeyLastExchangeLinkLost();
int KeySelect(int vendorId, int productId);
// Selects the kept FIDO interface with this path: 1 when selected, 0 when
// there is none (the key left, or the path names another interface).
int KeySelectPath(const std::string& path);
int KeyGetSelected(KeyDeviceInfo* destination);

// ISO 7816 style message: answers the status word of the reply (its last two
// bytes); `replyLength` receives the data length without them.
uint16_t KeySendApdu(const uint8_t* request, int requestLength, uint8_t* reply,
                     uint32_t* replyLength, uint8_t command);
// CTAP2 command byte and CBOR parameters: answers the CTAP status byte; the
// bytes after it are copied to `reply`.
uint16_t KeySendCbor(const uint8_t* request, int requestLength, uint8_t* reply,
                     uint32_t* replyLength);
