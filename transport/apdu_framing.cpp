#include "transport/apdu_framing.h"

#include <algorithm>

namespace {

void Header(const ApduCommand& command, uint8_t cla, std::vector<uint8_t>& out) {
  out.insert(out.end(), {cla, command.ins, command.p1, command.p2});
}

}  // namespace

bool ApduEncode(const ApduCommand& command, ApduForm form, std::vector<uint8_t>& out) {
  if (command.length > 0 && command.data == nullptr) return false;
  if (form == ApduForm::kShort) {
    if (command.length > APDU_SHORT_MAX_DATA || command.le > APDU_SHORT_MAX_LE) return false;
    Header(command, command.cla, out);
    if (command.length > 0) {
      out.push_back(static_cast<uint8_t>(command.length));
      out.insert(out.end(), command.data, command.data + command.length);
    }
    if (command.le > 0) out.push_back(static_cast<uint8_t>(command.le));  // 256 wraps to 00
    return true;
  }
  if (command.length > APDU_EXTENDED_MAX_DATA || command.le > APDU_EXTENDED_MAX_LE) return false;
  Header(command, command.cla, out);
  if (command.length == 0 && command.le == 0) return true;  // case 1 has no length at all
  out.push_back(0x00);
  if (command.length > 0) {
    out.push_back(static_cast<uint8_t>(command.length >> 8));
    out.push_back(static_cast<uint8_t>(command.length));
    out.insert(out.end(), command.data, command.data + command.length);
  }
  if (command.le > 0) {
    out.push_back(static_cast<uint8_t>(command.le >> 8));  // 65536 wraps to 0000
    out.push_back(static_cast<uint8_t>(command.le));
  }
  return true;
}

bool ApduChain(const ApduCommand& command, std::vector<std::vector<uint8_t>>& blocks) {
  if (command.le > APDU_SHORT_MAX_LE || (command.length > 0 && command.data == nullptr)) {
    return false;
  }
  blocks.clear();
  size_t at = 0;
  do {
    const size_t part = std::min(command.length - at, APDU_SHORT_MAX_DATA);
    const bool last = at + part == command.length;
    ApduCommand block = command;
    block.cla = last ? command.cla : static_cast<uint8_t>(command.cla | APDU_CLA_CHAINING);
    block.data = command.data + at;
    block.length = part;
    block.le = last ? command.le : 0;
    blocks.emplace_back();
    ApduEncode(block, ApduForm::kShort, blocks.back());
    at += part;
  } while (at < command.length);
  return true;
}

bool ApduParseCommand(const uint8_t* bytes, size_t length, ApduCommand& out) {
  if (bytes == nullptr || length < 4) return false;
  out = ApduCommand();
  out.cla = bytes[0];
  out.ins = bytes[1];
  out.p1 = bytes[2];
  out.p2 = bytes[3];
  if (length == 4) return true;
  const size_t b4 = bytes[4];
  if (length == 5) {
    out.le = b4 == 0 ? APDU_SHORT_MAX_LE : static_cast<uint32_t>(b4);
    return true;
  }
  if (b4 != 0) {
    if (length != 5 + b4 && length != 6 + b4) return false;
    out.data = bytes + 5;
    out.length = b4;
    if (length == 6 + b4) out.le = bytes[length - 1] == 0 ? APDU_SHORT_MAX_LE : bytes[length - 1];
    return true;
  }
  // b4 is 00 and more follows: the extended form.
  if (length < 7) return false;
  out.extended = true;
  const size_t word = (static_cast<size_t>(bytes[5]) << 8) | bytes[6];
  if (length == 7) {
    out.le = word == 0 ? APDU_EXTENDED_MAX_LE : static_cast<uint32_t>(word);
    return true;
  }
  if (word == 0 || (length != 7 + word && length != 9 + word)) return false;
  out.data = bytes + 7;
  out.length = word;
  if (length == 9 + word) {
    const uint32_t le = (static_cast<uint32_t>(bytes[length - 2]) << 8) | bytes[length - 1];
    out.le = le == 0 ? APDU_EXTENDED_MAX_LE : le;
  }
  return true;
}

bool ApduSplitResponse(const uint8_t* bytes, size_t length, size_t* dataLength, uint16_t* sw) {
  if (bytes == nullptr || length < 2) return false;
  *dataLength = length - 2;
  *sw = static_cast<uint16_t>((bytes[length - 2] << 8) | bytes[length - 1]);
  return true;
}
