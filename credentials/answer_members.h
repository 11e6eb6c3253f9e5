// Reading the members of a key's CBOR answer map. A member that is missing is
// "not given"; a member of another type marks the answer as wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cbor/cbor_view.h"

constexpr int32_t ANSWER_OK = 0;
constexpr int32_t ANSWER_UNREADABLE = 1;  // not one whole CBOR map within the bytes received
constexpr int32_t ANSWER_WRONG_TYPE = 2;  // a member of the wrong type or size

// The length of the one CBOR item at `data` when it ends within `size`; 0
// when it is malformed, goes on past `size` (where CborView::ItemLength may
// answer `size` for an item cut off at a member's end) or has an indefinite
// length anywhere, which CTAP's canonical encoding never has.
uint32_t WholeItemLength(const uint8_t* data, uint32_t size);

// Checks that `answer` is one CBOR map whose encoding ends within `length`
// and opens it as `map`. An answer of no bytes is the empty map: keys leave
// out the map when they have nothing to say.
int32_t OpenAnswerMap(const uint8_t* answer, uint32_t length, CborView& map);

// Reads values found in a checked map; the empty view is "not given". A value
// of another type sets `wrong` and answers "not given".
class MemberReader {
 public:
  std::optional<uint32_t> Unsigned(CborView value);
  std::optional<std::vector<uint8_t>> Bytes(CborView value);
  // A byte string of exactly `length` bytes.
  std::optional<std::vector<uint8_t>> FixedBytes(CborView value, uint32_t length);
  // Text is kept as the key sent it; the caller makes it valid UTF-8 to show.
  std::optional<std::string> Text(CborView value);
  std::optional<bool> Bool(CborView value);
  // A map (given, or missing); anything else is wrong.
  bool IsMapOrMissing(CborView value);

  void MarkWrong() { wrong_ = true; }
  bool wrong() const { return wrong_; }
  int32_t result() const { return wrong_ ? ANSWER_WRONG_TYPE : ANSWER_OK; }

 private:
  bool wrong_ = false;
};

// Opens the answer and lets `fill(map, reader)` read it into `out`; an answer
// that cannot be read, or has a member of the wrong type, leaves `out` empty.
template <typename Record, typename Fill>
int32_t ReadAnswer(const uint8_t* answer, uint32_t length, Record& out, Fill fill) {
  out = Record();
  CborView map;
  if (OpenAnswerMap(answer, length, map) != ANSWER_OK) return ANSWER_UNREADABLE;
  MemberReader reader;
  fill(map, reader);
  if (reader.wrong()) out = Record();
  return reader.result();
}
