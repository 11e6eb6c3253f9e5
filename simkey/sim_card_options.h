// How a simulated key answers as a contactless FIDO card on a card reader.
#pragma once

#include <cstdint>
#include <vector>

// A contactless card's ATR as a PC/SC reader builds it.
inline constexpr uint8_t SIMKEY_CARD_ATR[] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C,
                                              0xA0, 0x00, 0x00, 0x03, 0x06, 0x03, 0x00,
                                              0x03, 0x00, 0x00, 0x00, 0x00, 0x68};

struct SimCardOptions {
  std::vector<uint8_t> atr;  // empty: SIMKEY_CARD_ATR
  // Extended APDUs refused (6700), as by a reader or card without them: the
  // host chains its commands and takes long answers in 61XX pieces.
  bool shortApdusOnly = false;
  // 9100 answers (status "processing") before each CTAP2 result, when the
  // host said it takes them.
  uint32_t keepAlives = 0;
  // The FIDO applet speaks U2F only: SELECT answers "U2F_V2" and NFCCTAP_MSG
  // is not known.
  bool u2fOnly = false;

  bool operator==(const SimCardOptions&) const = default;
};
