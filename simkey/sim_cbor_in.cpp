#include "simkey/sim_cbor_in.h"

#include <limits>
#include <utility>

namespace {

constexpr int kMaxDepth = 8;

const SimCborItem& Absent() {
  static const SimCborItem absent;
  return absent;
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool Item(SimCborItem& item, int depth) {
    if (depth > kMaxDepth || pos_ >= length_) return false;
    const uint8_t initial = data_[pos_++];
    item.major = initial >> 5;
    const uint8_t info = initial & 0x1F;
    if (item.major == 6) return false;  // tags
    if (info < 24) {
      item.argument = info;
    } else if (info <= 27) {
      const size_t count = size_t{1} << (info - 24);
      if (count > length_ - pos_) return false;
      item.argument = 0;
      for (size_t i = 0; i < count; ++i) item.argument = item.argument << 8 | data_[pos_++];
    } else {
      return false;  // indefinite lengths and reserved values
    }
    switch (item.major) {
      case SimCborItem::kBytes:
      case SimCborItem::kText:
        if (item.argument > length_ - pos_) return false;
        item.bytes.assign(data_ + pos_, data_ + pos_ + item.argument);
        pos_ += item.argument;
        return true;
      case SimCborItem::kArray:
      case SimCborItem::kMap: {
        const uint64_t entries =
            item.major == SimCborItem::kMap ? 2 * item.argument : item.argument;
        // Each entry takes at least one byte: a larger count cannot be real.
        if (item.argument > length_ || entries > length_ - pos_) return false;
        item.items.resize(entries);
        for (SimCborItem& entry : item.items) {
          if (!Item(entry, depth + 1)) return false;
        }
        return true;
      }
      case SimCborItem::kSimple:
        return info <= 24;  // simple values; no floats
      default:
        return true;
    }
  }

  bool AtEnd() const { return pos_ == length_; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t pos_ = 0;
};

}  // namespace

int64_t SimCborItem::Int() const {
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  if (major == kUnsigned) return argument > kMax ? 0 : static_cast<int64_t>(argument);
  if (major == kNegative) return argument > kMax ? 0 : -1 - static_cast<int64_t>(argument);
  return 0;
}

bool SimCborItem::IsText(std::string_view text) const {
  return major == kText &&
         std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()) == text;
}

const SimCborItem& SimCborItem::Find(int64_t key) const {
  if (major != kMap) return Absent();
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i].IsInt() && items[i].Int() == key) return items[i + 1];
  }
  return Absent();
}

const SimCborItem& SimCborItem::Find(std::string_view key) const {
  if (major != kMap) return Absent();
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i].IsText(key)) return items[i + 1];
  }
  return Absent();
}

bool SimReadCbor(const uint8_t* data, size_t length, SimCborItem& out) {
  Reader reader(data, length);
  SimCborItem item;
  if (!reader.Item(item, 0) || !reader.AtEnd()) return false;
  out = std::move(item);
  return true;
}
