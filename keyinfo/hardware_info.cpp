// Reads the maker's hardware-information record and lays it out entry by
// entry in the "Security Key info" list.
//
// Record (the reply data, status word not included):
//
//   [0..1]  not interpreted
//   [2..]   entries:  tag (1) | length (1) | value (length bytes)
//
// Bytes at a tag position that are not known tags are passed over one by one.
#include "keyinfo/hardware_info.h"

#include <cstdio>
#include <string>
#include <vector>

#include "keyinfo/hardware_info_values.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

const uint8_t HW_INFO_REQUEST[5] = {0x80, 0xE3, 0xEE, 0x80, 0x00};
const uint8_t HW_INFO_REQUEST_ALT[5] = {0x80, 0x97, 0x00, 0x80, 0x00};

namespace {

constexpr uint16_t STATUS_WORD_OK = 0x9000;
constexpr uint32_t RECORD_HEADER_LENGTH = 2;

enum HardwareColumn { kTag = 0, kLength = 1, kValue = 2, kTagDefinition = 3, kValueDefinition = 4 };

std::string HexByte(uint8_t byte) {
  char text[3];
  snprintf(text, sizeof text, "%02X", byte);
  return text;
}

// "01 02 " for the bytes 01 02: every byte followed by a space.
std::string SpacedHex(const uint8_t* bytes, uint32_t count) {
  std::string text;
  text.reserve(count * 3);
  for (uint32_t i = 0; i < count; ++i) {
    text += HexByte(bytes[i]);
    text += ' ';
  }
  return text;
}

void AppendEntryRows(ReportList& list, uint8_t tag, const char* caption, const uint8_t* value,
                     uint8_t length) {
  const std::vector<std::string> lines = HardwareValueLines(tag, value, length);
  const size_t row = list.AppendRow(HexByte(tag));
  list.SetCell(row, kLength, HexByte(length));
  list.SetCell(row, kValue, SpacedHex(value, length));
  list.SetCell(row, kTagDefinition, caption);
  list.SetCell(row, kValueDefinition, lines.empty() ? std::string() : lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t continuation = list.AppendRow(" ");
    list.SetCell(continuation, kValueDefinition, lines[i]);
  }
}

}  // namespace

void AppendHardwareRecordRows(ReportList& list, const uint8_t* record, uint32_t length) {
  if (record == nullptr) return;
  uint32_t pos = RECORD_HEADER_LENGTH;
  while (pos < length) {
    const uint8_t tag = record[pos];
    const char* caption = HardwareTagCaption(tag);
    if (caption == nullptr) {
      ++pos;
      continue;
    }
    // An entry that does not fit in the reply is not shown, and nothing after
    // it can be trusted to start at an entry boundary.
    if (length - pos < 2) return;
    const uint8_t valueLength = record[pos + 1];
    if (length - pos - 2 < valueLength) return;
    AppendEntryRows(list, tag, caption, record + pos + 2, valueLength);
    pos += 2 + valueLength;
  }
}

void ShowHardwareInfo(QuillmarkModel& model) {
  if (!model.securityKeyInfoEnabled) return;

  uint8_t reply[HW_INFO_CAPACITY] = {};
  uint32_t replyLength = HW_INFO_CAPACITY;
  uint16_t status =
      KeySendApdu(HW_INFO_REQUEST, sizeof HW_INFO_REQUEST, reply, &replyLength, CTAPHID_MSG);
  if (status != STATUS_WORD_OK) {
    // A key that has hung would only keep the second request waiting too.
    if (KeyLastExchangeTimedOut()) return;
    replyLength = HW_INFO_CAPACITY;
    status = KeySendApdu(HW_INFO_REQUEST_ALT, sizeof HW_INFO_REQUEST_ALT, reply, &replyLength,
                         CTAPHID_MSG);
    if (status != STATUS_WORD_OK) return;
  }
  if (replyLength <= RECORD_HEADER_LENGTH || replyLength > HW_INFO_CAPACITY) return;
  AppendHardwareRecordRows(model.securityKeyList, reply, replyLength);
}
