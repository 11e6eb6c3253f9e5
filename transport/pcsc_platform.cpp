#include "transport/pcsc_platform.h"

#include <algorithm>

namespace {

// The longest answer an extended APDU may bring: 65536 bytes and the status word.
constexpr DWORD kResponseCapacity = 65536 + 2;
// A reader list longer than this is cut: no machine has that many readers.
constexpr DWORD kReaderListCapacity = 65536;

std::vector<std::string> SplitMultiString(const char* names, DWORD length) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (names[i] != '\0') continue;
    if (i > start) out.emplace_back(names + start, i - start);
    start = i + 1;
  }
  return out;
}

}  // namespace

const char* CardProtocolText(CardProtocol protocol) {
  switch (protocol) {
    case CardProtocol::kT0:
      return "T=0";
    case CardProtocol::kT1:
      return "T=1";
    case CardProtocol::kNone:
      break;
  }
  return "none";
}

int PcscResult(LONG result) {
  switch (result) {
    case SCARD_S_SUCCESS:
      return CARD_OK;
    case SCARD_E_NO_SERVICE:
    case SCARD_E_SERVICE_STOPPED:
      return CARD_NO_SERVICE;
    case SCARD_E_NO_SMARTCARD:
    case SCARD_W_REMOVED_CARD:
      return CARD_NO_CARD;
    case SCARD_W_RESET_CARD:
    case SCARD_W_UNPOWERED_CARD:
    case SCARD_E_READER_UNAVAILABLE:
    case SCARD_E_UNKNOWN_READER:
    case SCARD_E_INVALID_HANDLE:
      return CARD_REMOVED;
    default:
      return CARD_FAILED;
  }
}

PcscPlatform& PcscPlatform::Instance() {
  static PcscPlatform platform;
  return platform;
}

PcscPlatform::~PcscPlatform() {
  if (hasContext_) SCardReleaseContext(context_);
}

int PcscPlatform::Context() {
  if (hasContext_ && SCardIsValidContext(context_) == SCARD_S_SUCCESS) return CARD_OK;
  DropContext();
  const LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_);
  if (result != SCARD_S_SUCCESS) return PcscResult(result);
  hasContext_ = true;
  return CARD_OK;
}

namespace {

// What a context made before pcscd restarted answers: the client library
// still takes it as valid, and only the first call on it fails.
bool StaleContext(LONG result) {
  return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED ||
         result == SCARD_E_INVALID_HANDLE || result == SCARD_F_COMM_ERROR;
}

}  // namespace

void PcscPlatform::DropContext() {
  if (hasContext_) SCardReleaseContext(context_);
  hasContext_ = false;
}

int PcscPlatform::OnContext(const std::function<LONG()>& call, LONG& result) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (const int context = Context(); context != CARD_OK) return context;
    result = call();
    if (!StaleContext(result)) break;
    DropContext();
  }
  return CARD_OK;
}

int PcscPlatform::ListReaders(std::vector<CardReader>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  LONG result = SCARD_S_SUCCESS;
  if (const int context = OnContext([&] { return ListReadersOnce(out); }, result);
      context != CARD_OK) {
    return context;
  }
  return result == SCARD_E_NO_READERS_AVAILABLE ? CARD_OK : PcscResult(result);
}

LONG PcscPlatform::ListReadersOnce(std::vector<CardReader>& out) {
  out.clear();
  DWORD length = 0;
  LONG result = SCardListReaders(context_, nullptr, nullptr, &length);
  if (result != SCARD_S_SUCCESS) return result;
  length = std::min(length, kReaderListCapacity);
  std::vector<char> names(length + 1, '\0');
  result = SCardListReaders(context_, nullptr, names.data(), &length);
  if (result != SCARD_S_SUCCESS) return result;
  for (const std::string& name :
       SplitMultiString(names.data(), std::min<DWORD>(length, names.size()))) {
    SCARD_READERSTATE state = {};
    state.szReader = name.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    CardReader reader;
    reader.name = name;
    if (SCardGetStatusChange(context_, 0, &state, 1) == SCARD_S_SUCCESS &&
        (state.dwEventState & SCARD_STATE_PRESENT) != 0) {
      reader.present = true;
      const DWORD atrLength = std::min<DWORD>(state.cbAtr, sizeof state.rgbAtr);
      reader.atr.assign(state.rgbAtr, state.rgbAtr + atrLength);
    }
    out.push_back(std::move(reader));
  }
  return SCARD_S_SUCCESS;
}

int PcscPlatform::Connect(const std::string& reader, CardHandle* handle, CardProtocol* protocol,
                          std::vector<uint8_t>& atr) {
  std::lock_guard<std::mutex> lock(mutex_);
  SCARDHANDLE card = 0;
  DWORD active = 0;
  LONG result = SCARD_S_SUCCESS;
  const int context = OnContext(
      [&] {
        return SCardConnect(context_, reader.c_str(), SCARD_SHARE_SHARED,
                            SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &active);
      },
      result);
  if (context != CARD_OK) return context;
  if (result != SCARD_S_SUCCESS) return PcscResult(result);
  BYTE atrBytes[MAX_ATR_SIZE] = {};
  DWORD atrLength = sizeof atrBytes;
  DWORD state = 0;
  DWORD statusProtocol = 0;
  DWORD nameLength = 0;
  result = SCardStatus(card, nullptr, &nameLength, &state, &statusProtocol, atrBytes, &atrLength);
  atr.clear();
  if (result == SCARD_S_SUCCESS) {
    atr.assign(atrBytes, atrBytes + std::min<DWORD>(atrLength, sizeof atrBytes));
  }
  *protocol = active == SCARD_PROTOCOL_T0 ? CardProtocol::kT0 : CardProtocol::kT1;
  *handle = static_cast<CardHandle>(card);
  return CARD_OK;
}

int PcscPlatform::Transmit(CardHandle handle, CardProtocol protocol,
                           const std::vector<uint8_t>& command, std::vector<uint8_t>& response) {
  response.assign(kResponseCapacity, 0);
  DWORD length = kResponseCapacity;
  const SCARD_IO_REQUEST* pci = protocol == CardProtocol::kT0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  const LONG result =
      SCardTransmit(static_cast<SCARDHANDLE>(handle), pci, command.data(),
                    static_cast<DWORD>(command.size()), nullptr, response.data(), &length);
  if (result != SCARD_S_SUCCESS) {
    response.clear();
    return PcscResult(result);
  }
  response.resize(std::min<DWORD>(length, kResponseCapacity));
  return CARD_OK;
}

void PcscPlatform::Disconnect(CardHandle handle) {
  SCardDisconnect(static_cast<SCARDHANDLE>(handle), SCARD_LEAVE_CARD);
}

bool PcscWatcher::Start(Changed changed, std::function<void()> ended, bool tellCardsPresent) {
  Stop();
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_) != SCARD_S_SUCCESS) {
    return false;
  }
  changed_ = std::move(changed);
  ended_ = std::move(ended);
  stopping_ = false;
  thread_ = std::thread([this, tellCardsPresent] { Run(tellCardsPresent); });
  return true;
}

void PcscWatcher::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  SCardCancel(context_);
  thread_.join();
  SCardReleaseContext(context_);
}

namespace {

bool ServiceLost(LONG result) {
  return result == SCARD_E_NO_SERVICE || result == SCARD_E_SERVICE_STOPPED ||
         result == SCARD_E_INVALID_HANDLE;
}

}  // namespace

void PcscWatcher::Run(bool tellCardsPresent) {
  // The pseudo-reader's count of readers changes when one comes or goes.
  static const char kPnp[] = "\\\\?PnP?\\Notification";
  const DWORD kCard = SCARD_STATE_PRESENT | SCARD_STATE_EMPTY;
  std::vector<std::string> names;
  std::vector<SCARD_READERSTATE> states;
  bool relist = true;
  // The first answer only says how things stand, unless the caller asked to
  // hear of the cards already there.
  bool initial = !tellCardsPresent;
  LONG result = SCARD_S_SUCCESS;
  while (!stopping_) {
    if (relist) {
      // Listed aside: the states still point into the old names, which the
      // service's end needs should the listing fail.
      std::vector<std::string> listed;
      DWORD length = 0;
      result = SCardListReaders(context_, nullptr, nullptr, &length);
      if (result == SCARD_S_SUCCESS) {
        std::vector<char> text(std::min(length, kReaderListCapacity) + 1, '\0');
        length = static_cast<DWORD>(text.size() - 1);
        result = SCardListReaders(context_, nullptr, text.data(), &length);
        if (result == SCARD_S_SUCCESS) {
          listed = SplitMultiString(text.data(), std::min<DWORD>(length, text.size()));
        }
      }
      if (ServiceLost(result)) break;
      std::vector<SCARD_READERSTATE> fresh(listed.size() + 1);
      for (size_t i = 0; i < listed.size(); ++i) {
        fresh[i].szReader = listed[i].c_str();
        fresh[i].dwCurrentState = SCARD_STATE_UNAWARE;
        for (const SCARD_READERSTATE& old : states) {
          if (old.szReader != nullptr && listed[i] == old.szReader) {
            fresh[i].dwCurrentState = old.dwEventState & ~SCARD_STATE_CHANGED;
          }
        }
      }
      fresh.back().szReader = kPnp;
      fresh.back().dwCurrentState = static_cast<DWORD>(listed.size()) << 16;
      // Moving the vector leaves its strings where they are: the pointers hold.
      names = std::move(listed);
      states = std::move(fresh);
      relist = false;
    }
    result =
        SCardGetStatusChange(context_, INFINITE, states.data(), static_cast<DWORD>(states.size()));
    if (stopping_ || result == SCARD_E_CANCELLED) return;
    if (ServiceLost(result)) break;
    if (result != SCARD_S_SUCCESS) {
      // A reader that went away: list again, without spinning.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      relist = true;
      continue;
    }
    for (size_t i = 0; i + 1 < states.size(); ++i) {
      SCARD_READERSTATE& state = states[i];
      if ((state.dwEventState & SCARD_STATE_CHANGED) == 0) continue;
      const DWORD now = state.dwEventState & kCard;
      const DWORD before = initial ? now : (state.dwCurrentState & kCard);
      // A reader first seen empty has no card to take away.
      const bool firstSeenEmpty = before == 0 && now == SCARD_STATE_EMPTY;
      if (now != before && !firstSeenEmpty && changed_) {
        changed_(names[i], (state.dwEventState & SCARD_STATE_PRESENT) != 0);
      }
      if ((state.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_UNAVAILABLE)) != 0) {
        relist = true;
      }
      state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
    // A reader that came or went: listed again, its card told on the next round.
    if ((states.back().dwEventState & SCARD_STATE_CHANGED) != 0) relist = true;
    initial = false;
  }
  if (stopping_) return;
  // The service went away, and with it every card it held.
  for (size_t i = 0; i + 1 < states.size(); ++i) {
    if ((states[i].dwCurrentState & SCARD_STATE_PRESENT) != 0 && changed_) {
      changed_(names[i], false);
    }
  }
  if (ended_) ended_();
}
