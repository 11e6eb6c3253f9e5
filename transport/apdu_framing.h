// ISO 7816-4 command and response APDUs, as a card reader carries them.
//
//   short     CLA INS P1 P2 [Lc data(1..255)] [Le]          Le 00 = 256
//   extended  CLA INS P1 P2 00 [Lc1 Lc2 data] [Le1 Le2]     Le 0000 = 65536;
//             without data the Le field is 00 Le1 Le2
//
// A command too long for a short APDU goes as a chain of short blocks, CLA
// bit 0x10 set on all but the last. Pure code: no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t APDU_SHORT_MAX_DATA = 255;
constexpr size_t APDU_EXTENDED_MAX_DATA = 65535;
constexpr uint32_t APDU_SHORT_MAX_LE = 256;
constexpr uint32_t APDU_EXTENDED_MAX_LE = 65536;
constexpr uint8_t APDU_CLA_CHAINING = 0x10;
constexpr uint8_t APDU_INS_GET_RESPONSE = 0xC0;
constexpr uint16_t APDU_SW_OK = 0x9000;
constexpr uint8_t APDU_SW1_MORE_DATA = 0x61;

enum class ApduForm { kShort, kExtended };

// A command APDU; `le` 0 means no Le field.
struct ApduCommand {
  uint8_t cla = 0;
  uint8_t ins = 0;
  uint8_t p1 = 0;
  uint8_t p2 = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
  uint32_t le = 0;
  bool extended = false;  // as parsed; ApduEncode takes the form it is given
};

// Appends the command in `form` to `out`. False, with `out` untouched, when
// the data or Le does not fit the form.
bool ApduEncode(const ApduCommand& command, ApduForm form, std::vector<uint8_t>& out);

// The command as short blocks of at most 255 data bytes, every block but the
// last with the chaining bit; only the last carries Le. Empty data gives one
// block. False when Le does not fit a short APDU.
bool ApduChain(const ApduCommand& command, std::vector<std::vector<uint8_t>>& blocks);

// Reads a command APDU of either form; `out.data` points into `bytes`. False
// for lengths that match no case of ISO 7816-4.
bool ApduParseCommand(const uint8_t* bytes, size_t length, ApduCommand& out);

// Splits a response into its data length and status word; false when fewer
// than the two status bytes came.
bool ApduSplitResponse(const uint8_t* bytes, size_t length, size_t* dataLength, uint16_t* sw);
