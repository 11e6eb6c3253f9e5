#include "simkey/sim_card.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "simkey/sim_device.h"
#include "transport/apdu_link.h"

namespace {

constexpr uint8_t KEEPALIVE_PROCESSING = 0x01;
constexpr uint8_t KEEPALIVE_UP_NEEDED = 0x02;

std::vector<uint8_t> Status(uint16_t sw) {
  return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)};
}

const std::vector<uint8_t> kWrongLength = Status(0x6700);
const std::vector<uint8_t> kWrongData = Status(0x6A80);
const std::vector<uint8_t> kNotKnown = Status(0x6D00);
const std::vector<uint8_t> kNotAllowed = Status(0x6985);

std::vector<uint8_t> Text(const char* text, uint16_t sw) {
  std::vector<uint8_t> reply(text, text + std::strlen(text));
  const std::vector<uint8_t> status = Status(sw);
  reply.insert(reply.end(), status.begin(), status.end());
  return reply;
}

bool IsFidoSelect(const ApduCommand& command) {
  return command.ins == 0xA4 && command.p1 == 0x04 && command.length == sizeof FIDO_AID &&
         std::memcmp(command.data, FIDO_AID, sizeof FIDO_AID) == 0;
}

}  // namespace

SimCard::SimCard(SimDeviceConfig config, SimClock& clock)
    : config_(std::move(config)), clock_(clock), answers_(clock) {}

void SimCard::Deselect() {
  selected_ = false;
  chaining_ = false;
  chainData_.clear();
  held_.clear();
  ctapPending_ = false;
  answers_.RestartTurns();
}

std::vector<uint8_t> SimCard::Control(uint8_t code) {
  if (code == SIM_CARD_ATR_REQUEST) {
    if (!config_.card.atr.empty()) return config_.card.atr;
    return std::vector<uint8_t>(std::begin(SIMKEY_CARD_ATR), std::end(SIMKEY_CARD_ATR));
  }
  if (code == SIM_CARD_POWER_OFF || code == SIM_CARD_POWER_ON || code == SIM_CARD_RESET) {
    Deselect();
  }
  return {};
}

std::vector<uint8_t> SimCard::Transmit(const std::vector<uint8_t>& apdu) {
  ApduCommand command;
  if (!ApduParseCommand(apdu.data(), apdu.size(), command)) return kWrongLength;
  if (command.extended && config_.card.shortApdusOnly) return kWrongLength;
  if (command.ins == APDU_INS_GET_RESPONSE && command.cla == 0x00 && !held_.empty()) {
    return NextPiece(command.le);
  }
  held_.clear();

  if (command.cla & APDU_CLA_CHAINING) {
    if (chaining_ && command.ins != chainIns_) chainData_.clear();
    if (chainData_.size() + command.length > SIM_CARD_MAX_COMMAND) {
      chaining_ = false;
      chainData_.clear();
      return kWrongLength;
    }
    chaining_ = true;
    chainIns_ = command.ins;
    chainData_.insert(chainData_.end(), command.data, command.data + command.length);
    return Status(APDU_SW_OK);
  }
  if (!chaining_ || command.ins != chainIns_) {
    chaining_ = false;
    chainData_.clear();
    return Dispatch(command, apdu);
  }
  // The last block of a chain: the whole command, rebuilt in the extended
  // form for the applets, which see every request whole.
  chaining_ = false;
  std::vector<uint8_t> data = std::move(chainData_);
  chainData_.clear();
  data.insert(data.end(), command.data, command.data + command.length);
  if (data.size() > APDU_EXTENDED_MAX_DATA) return kWrongLength;
  ApduCommand whole = command;
  whole.data = data.data();
  whole.length = data.size();
  std::vector<uint8_t> raw;
  ApduEncode(whole, ApduForm::kExtended, raw);
  return Dispatch(whole, raw);
}

std::vector<uint8_t> SimCard::Dispatch(const ApduCommand& command,
                                       const std::vector<uint8_t>& raw) {
  if (IsFidoSelect(command)) {
    selected_ = true;
    // The applets behind it follow the selection as over USB: a version
    // request now asks the FIDO applet.
    answers_.AnswerApdu(config_, raw);
    return Text(config_.card.u2fOnly ? "U2F_V2" : "FIDO_2_0", APDU_SW_OK);
  }
  if (command.cla == NFCCTAP_CLA &&
      (command.ins == NFCCTAP_MSG || command.ins == NFCCTAP_GETRESPONSE)) {
    if (!selected_ || config_.card.u2fOnly) return kNotKnown;
    return Ctap(command);
  }
  const bool u2f = command.cla == 0x00 && command.ins >= 0x01 && command.ins <= 0x03;
  if (u2f && !selected_) return kNotKnown;
  const SimAnswer answer = answers_.AnswerApdu(config_, raw);
  // Another applet selected: the FIDO applet is no longer.
  if (command.ins == 0xA4 && answer.reply.size() >= 2 &&
      answer.reply[answer.reply.size() - 2] == 0x90) {
    selected_ = false;
  }
  return FromAnswer(answer, command.le);
}

std::vector<uint8_t> SimCard::Ctap(const ApduCommand& command) {
  if (command.ins == NFCCTAP_GETRESPONSE) {
    if (!ctapPending_) return kNotAllowed;
    return NextCtapAnswer(command.le);
  }
  ctapPending_ = false;
  if (command.length == 0) return kWrongLength;
  const std::vector<uint8_t> request(command.data, command.data + command.length);
  bool refused = false;
  const SimAnswer answer = answers_.AnswerCbor(config_, request, &refused);
  if (answer.kind != SimAnswer::Kind::kReply) return FromAnswer(answer, command.le);

  const auto& touch = config_.touchCommands;
  const bool waitsForTouch = !refused && config_.touchDelayMs > 0 &&
                             std::find(touch.begin(), touch.end(), request[0]) != touch.end();
  ctapReply_ = answer.reply;
  ctapReply_.push_back(0x90);
  ctapReply_.push_back(0x00);
  const uint64_t touchDoneMs = waitsForTouch ? clock_.NowMs() + config_.touchDelayMs : 0;
  if ((command.p1 & NFCCTAP_P1_KEEPALIVE) == 0) {
    // A host without keep-alives waits for the whole answer.
    if (touchDoneMs > clock_.NowMs()) clock_.Advance(touchDoneMs - clock_.NowMs());
    return Respond(ctapReply_, command.le);
  }
  ctapPending_ = true;
  keepAlivesLeft_ = config_.card.keepAlives;
  touchDoneMs_ = touchDoneMs;
  return NextCtapAnswer(command.le);
}

std::vector<uint8_t> SimCard::NextCtapAnswer(uint32_t le) {
  if (keepAlivesLeft_ > 0) {
    --keepAlivesLeft_;
    return {KEEPALIVE_PROCESSING, 0x91, 0x00};
  }
  if (clock_.NowMs() < touchDoneMs_) {
    clock_.Advance(SIMKEY_KEEPALIVE_INTERVAL_MS);
    return {KEEPALIVE_UP_NEEDED, 0x91, 0x00};
  }
  ctapPending_ = false;
  return Respond(ctapReply_, le);
}

std::vector<uint8_t> SimCard::FromAnswer(const SimAnswer& answer, uint32_t le) {
  if (answer.kind == SimAnswer::Kind::kSilent) return {};
  if (answer.kind == SimAnswer::Kind::kBroken) return {0x90};  // no whole status word
  if (answer.reply.size() < 2) return kWrongData;
  return Respond(answer.reply, le);
}

std::vector<uint8_t> SimCard::Respond(const std::vector<uint8_t>& reply, uint32_t le) {
  const size_t dataLength = reply.size() - 2;
  if (dataLength <= le) return reply;
  held_.assign(reply.begin() + le, reply.end() - 2);
  heldSw_ = static_cast<uint16_t>((reply[dataLength] << 8) | reply[dataLength + 1]);
  std::vector<uint8_t> first(reply.begin(), reply.begin() + le);
  first.push_back(APDU_SW1_MORE_DATA);
  first.push_back(static_cast<uint8_t>(std::min<size_t>(held_.size(), 256)));
  return first;
}

std::vector<uint8_t> SimCard::NextPiece(uint32_t le) {
  const size_t take = std::min<size_t>(le == 0 ? APDU_SHORT_MAX_LE : le, held_.size());
  std::vector<uint8_t> piece(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(take));
  held_.erase(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(take));
  const std::vector<uint8_t> status =
      held_.empty()
          ? Status(heldSw_)
          : std::vector<uint8_t>{APDU_SW1_MORE_DATA,
                                 static_cast<uint8_t>(std::min<size_t>(held_.size(), 256))};
  piece.insert(piece.end(), status.begin(), status.end());
  return piece;
}
