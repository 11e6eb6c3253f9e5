// The "Details" page: what the key says about itself beyond the seed's pages.
// Its rows, in order: the facts of the channel allocation ("CTAPHID protocol",
// "Device version", "Capabilities"; for a card "ATR", "Protocol", "Extended
// APDUs"), one row per GetInfo member in the key's
// order, the PIN and UV retries, then the whole GetInfo answer in hex and in
// diagnostic notation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keyinfo/quillmark_model.h"
#include "transport/card_session.h"
#include "transport/key_init_facts.h"

inline constexpr char DETAILS_PAGE_CAPTION[] = "Details";

// The rows of the whole answer are cut at this many bytes. An answer holds at
// most 4 KB, so its hex form (8 KB) always fits; its diagnostic notation can
// grow larger (an array of 4000 zeros), and a cell must stay a size the window
// and a terminal show without stalling.
constexpr size_t DETAILS_ANSWER_LIMIT = 16384;

// What the read-only clientPIN questions answered; unknown when the key was
// not asked or refused.
struct KeyRetries {
  bool pinKnown = false;
  uint64_t pin = 0;
  bool powerCycleNeeded = false;
  bool uvKnown = false;
  uint64_t uv = 0;
};

struct DetailsFacts {
  KeyInitFacts init;
  // A card on a reader has no channel allocation: its ATR, protocol and APDU
  // form stand in that place. Null for a HID interface.
  const CardFacts* card = nullptr;
  // The GetInfo answer without its status byte; null when there is none.
  const uint8_t* getInfo = nullptr;
  size_t getInfoLength = 0;
  KeyRetries retries;
};

// The page's list, which the model always has.
ReportList& DetailsList(QuillmarkModel& model);
void ClearDetailsPage(QuillmarkModel& model);
// Empties the page and writes its rows from `facts`.
void ShowDetailsPage(QuillmarkModel& model, const DetailsFacts& facts);
