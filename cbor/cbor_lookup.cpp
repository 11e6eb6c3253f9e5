// The lookups of CborView: each walks the encoded item again from the view.
#include <cstring>
#include <limits>

#include "cbor/cbor_view.h"
#include "cbor/cbor_walk.h"

namespace {

uint32_t Saturate(uint64_t value) {
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(value < kMax ? value : kMax);
}

// The view from `offset` to the end of the data, or the empty view when
// nothing is left there.
CborView ViewAt(const CborView& view, uint64_t offset) {
  if (offset >= view.size) return CborView();
  return CborView(view.data + offset, static_cast<uint32_t>(view.size - offset));
}

bool IsNonEmptyMap(const CborHead& head) {
  return head.headLength != 0 && head.major == CBOR_MAJOR_MAP &&
         (head.info == CBOR_INFO_INDEFINITE || head.argument != 0);
}

bool IntKeyMatches(const CborHead& key, int32_t wanted) {
  if (key.major == CBOR_MAJOR_UNSIGNED) return wanted >= 0 && key.argument == uint32_t(wanted);
  if (key.major == CBOR_MAJOR_NEGATIVE) return wanted < 0 && -1 - int64_t{key.argument} == wanted;
  return false;
}

// Walks the members of the map at `view` as key and value pairs and answers
// the view of the value of the first key that `keyMatches` accepts. The
// predicate gets the key's head and its offset, and tells where the value
// starts. Keys are tested only at the outer level and only in key position,
// so neither nested keys nor values are ever taken for a key.
template <typename KeyMatcher>
CborView FindValue(const CborView& view, KeyMatcher keyMatches) {
  CborHead outer = view.Head();
  if (!IsNonEmptyMap(outer)) return CborView();

  CborWalk walk(view.data, view.size, outer);
  bool valueNext = false;
  while (walk.Next() == CborWalk::Step::kItem) {
    if (walk.memberOfOuter()) {
      if (valueNext) {
        valueNext = false;
      } else {
        uint64_t valueOffset = 0;
        if (keyMatches(walk.head(), walk.itemOffset(), valueOffset)) {
          return ViewAt(view, valueOffset);
        }
        valueNext = true;
      }
    }
    if (walk.complete() || walk.ranOff()) break;
  }
  return CborView();
}

}  // namespace

uint32_t CborView::ItemLength() const {
  if (IsEmpty()) return 0;
  CborHead head;
  if (head.Read(data, size) != CborHeadStatus::kRead) return 0;

  bool string = head.major == CBOR_MAJOR_BYTES || head.major == CBOR_MAJOR_TEXT;
  bool container = head.major == CBOR_MAJOR_ARRAY || head.major == CBOR_MAJOR_MAP;
  bool indefinite = head.info == CBOR_INFO_INDEFINITE;
  if (string && !indefinite) return Saturate(uint64_t{head.headLength} + head.argument);
  if (!container && !string) return head.headLength;
  if (container && !indefinite && head.argument == 0) return head.headLength;
  if (head.headLength >= size) return head.headLength;

  CborWalk walk(data, size, head);
  while (true) {
    switch (walk.Next()) {
      case CborWalk::Step::kItem:
        if (walk.complete()) return Saturate(walk.offset());
        // The data ended with members still to come: the item is cut off,
        // even when the end falls exactly between two members.
        if (walk.ranOff()) {
          return Saturate(walk.offset() > size ? walk.offset() : uint64_t{size} + 1);
        }
        break;
      case CborWalk::Step::kCutOff:
        // The item goes on past the end of the data.
        return Saturate(uint64_t{size} + 1);
      case CborWalk::Step::kMalformed:
      case CborWalk::Step::kFinished:
        return 0;
    }
  }
}

CborView CborView::FindIntKey(int32_t key) const {
  return FindValue(*this, [key](const CborHead& head, uint64_t keyOffset, uint64_t& valueOffset) {
    if (!IntKeyMatches(head, key)) return false;
    valueOffset = keyOffset + head.headLength;
    return true;
  });
}

CborView CborView::FindTextKey(const char* name, uint32_t length) const {
  if (name == nullptr) return CborView();
  return FindValue(
      *this, [this, name, length](const CborHead& head, uint64_t keyOffset, uint64_t& valueOffset) {
        if (head.major != CBOR_MAJOR_TEXT || head.info == CBOR_INFO_INDEFINITE ||
            head.argument != length) {
          return false;
        }
        uint64_t textOffset = keyOffset + head.headLength;
        if (textOffset + length > size) return false;
        if (length != 0 && std::memcmp(data + textOffset, name, length) != 0) return false;
        valueOffset = textOffset + length;
        return true;
      });
}

CborView CborView::ElementAt(int32_t index) const {
  CborHead outer = Head();
  if (outer.headLength == 0 || outer.major != CBOR_MAJOR_ARRAY || index < 0) return CborView();
  int32_t count = outer.info == CBOR_INFO_INDEFINITE ? static_cast<int32_t>(CBOR_INDEFINITE)
                                                     : static_cast<int32_t>(outer.argument);
  if (count == 0 || index >= count || outer.headLength >= size) return CborView();

  // A break code ends the array; it is never an element.
  auto elementAt = [this](uint64_t offset) {
    CborView element = ViewAt(*this, offset);
    if (!element.IsEmpty() && element.data[0] == CBOR_BREAK) return CborView();
    return element;
  };
  if (index == 0) return elementAt(outer.headLength);

  CborWalk walk(data, size, outer);
  int32_t passed = 0;
  while (walk.Next() == CborWalk::Step::kItem) {
    if (walk.complete() || walk.ranOff()) break;
    if (walk.atOuterLevel() && ++passed == index) return elementAt(walk.offset());
  }
  return CborView();
}
