// Decodes one encoded CBOR item (RFC 8949) into a tree of nodes with full
// 64-bit arguments, checking that it is well-formed. Used where a whole item
// is shown or formatted rather than looked up: the diagnostic notation and the
// "Details" page. Reads nothing outside [data, data + size); nesting is
// bounded so that a hostile item cannot exhaust the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Containers, tags and string chunks nested deeper than this are refused.
constexpr uint32_t CBOR_TREE_DEFAULT_DEPTH = 32;

struct CborNode {
  uint8_t major = 7;
  // Unsigned: the value. Negative: n for the value -1 - n. Strings: the byte
  // count (definite). Arrays: the item count; maps: the pair count (both as
  // read, for definite ones). Tag: its number. Simple: its value (0..255).
  uint64_t argument = 0;
  bool indefinite = false;
  // Floats (major 7 with 2, 4 or 8 bytes): their width in bytes and value.
  uint8_t floatBytes = 0;
  double floatValue = 0;
  // Definite strings: the bytes. Indefinite strings: empty (see children).
  std::string bytes;
  // Arrays: the items. Maps: key, value, key, value... Tags: the one tagged
  // item. Indefinite strings: the chunks, each a definite string.
  std::vector<CborNode> children;

  bool IsUnsigned() const { return major == 0; }
  bool IsText() const { return major == 3 && !indefinite; }
  bool IsBytes() const { return major == 2 && !indefinite; }
  bool IsArray() const { return major == 4; }
  bool IsMap() const { return major == 5; }
  bool IsBool() const {
    return major == 7 && floatBytes == 0 && (argument == 20 || argument == 21);
  }
  bool IsFloat() const { return major == 7 && floatBytes != 0; }
  size_t PairCount() const { return children.size() / 2; }
};

enum class CborDecodeStatus : uint8_t {
  kOk,
  kCutOff,     // the item runs past the end of the data
  kMalformed,  // not well-formed (reserved values, stray break, bad chunk)
  kTooDeep,    // nesting beyond the limit
};

struct CborDecodeResult {
  CborDecodeStatus status = CborDecodeStatus::kMalformed;
  size_t length = 0;  // bytes of the item, when kOk
};

CborDecodeResult CborDecode(const uint8_t* data, size_t size, CborNode& out,
                            uint32_t maxDepth = CBOR_TREE_DEFAULT_DEPTH);

// The value of the first pair of `map` whose key is the unsigned integer (or
// definite text string) `key`; null when there is none or `map` is no map.
const CborNode* CborMapValue(const CborNode& map, uint64_t key);
const CborNode* CborMapValue(const CborNode& map, std::string_view key);
