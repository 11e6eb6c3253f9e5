// Just enough CBOR reading to check the key's answers, written apart from
// the key's own reader: definite lengths, every item kept with its major type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/simkey/sim_host.h"

struct Item {
  int major = -1;
  uint64_t value = 0;       // argument; the simple value for major 7
  std::string text;         // text or byte string
  std::vector<Item> items;  // array entries; for a map, key and value alternating
  size_t Pairs() const { return major == 5 ? items.size() / 2 : 0; }
  const Item& Key(size_t i) const { return items[2 * i]; }
  const Item& Value(size_t i) const { return items[2 * i + 1]; }
  Bytes bytes() const { return Bytes(text.begin(), text.end()); }

  // Map lookups by integer or text key; an item of major -1 when absent.
  const Item& Find(int64_t key) const {
    for (size_t i = 0; i < Pairs(); ++i) {
      const Item& k = Key(i);
      if ((k.major == 0 && key >= 0 && k.value == static_cast<uint64_t>(key)) ||
          (k.major == 1 && key < 0 && k.value == static_cast<uint64_t>(-1 - key))) {
        return Value(i);
      }
    }
    return Absent();
  }
  const Item& Find(const std::string& key) const {
    for (size_t i = 0; i < Pairs(); ++i) {
      if (Key(i).major == 3 && Key(i).text == key) return Value(i);
    }
    return Absent();
  }
  static const Item& Absent() {
    static const Item absent;
    return absent;
  }
};

inline bool Decode(const Bytes& data, size_t& pos, Item& item) {
  if (pos >= data.size()) return false;
  const uint8_t initial = data[pos++];
  item.major = initial >> 5;
  const uint8_t info = initial & 0x1F;
  if (info < 24) {
    item.value = info;
  } else if (info <= 27) {
    const size_t count = size_t{1} << (info - 24);
    if (pos + count > data.size()) return false;
    for (size_t i = 0; i < count; ++i) item.value = item.value << 8 | data[pos++];
  } else {
    return false;
  }
  if (item.major == 2 || item.major == 3) {
    if (pos + item.value > data.size()) return false;
    item.text.assign(data.begin() + static_cast<long>(pos),
                     data.begin() + static_cast<long>(pos + item.value));
    pos += item.value;
  } else if (item.major == 4 || item.major == 5) {
    item.items.resize(item.major == 5 ? 2 * item.value : item.value);
    for (Item& entry : item.items) {
      if (!Decode(data, pos, entry)) return false;
    }
  }
  return true;
}

// The CBOR of a CTAP answer (after its status byte), which must fill it.
inline Item DecodeAnswer(const Bytes& answer) {
  Item item;
  size_t pos = 1;
  if (answer.size() < 2 || !Decode(answer, pos, item) || pos != answer.size()) return Item();
  return item;
}

inline Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}
