#include "cbor/cbor_tree.h"

#include <cmath>
#include <cstring>

namespace {

class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size, uint32_t maxDepth)
      : data_(data), size_(size), maxDepth_(maxDepth) {}

  CborDecodeStatus Item(CborNode& node, uint32_t depth) {
    if (depth > maxDepth_) return CborDecodeStatus::kTooDeep;
    if (offset_ >= size_) return CborDecodeStatus::kCutOff;
    const uint8_t initial = data_[offset_++];
    node.major = initial >> 5;
    const uint8_t info = initial & 0x1F;
    if (info == 31) return Indefinite(node, depth);
    if (CborDecodeStatus status = Argument(info, node.argument); status != CborDecodeStatus::kOk) {
      return status;
    }
    switch (node.major) {
      case 0:
      case 1:
        return CborDecodeStatus::kOk;
      case 2:
      case 3:
        if (node.argument > size_ - offset_) return CborDecodeStatus::kCutOff;
        node.bytes.assign(reinterpret_cast<const char*>(data_ + offset_),
                          static_cast<size_t>(node.argument));
        offset_ += static_cast<size_t>(node.argument);
        return CborDecodeStatus::kOk;
      case 4:
        return Items(node, node.argument, depth);
      case 5:
        // Twice the pair count overflows only for counts no data can hold.
        if (node.argument > size_ - offset_) return CborDecodeStatus::kCutOff;
        return Items(node, node.argument * 2, depth);
      case 6:
        node.children.emplace_back();
        return Item(node.children.back(), depth + 1);
      default:
        return Simple(node, info);
    }
  }

  size_t offset() const { return offset_; }

 private:
  CborDecodeStatus Argument(uint8_t info, uint64_t& argument) {
    if (info < 24) {
      argument = info;
      return CborDecodeStatus::kOk;
    }
    if (info > 27) return CborDecodeStatus::kMalformed;  // 28..30 are reserved
    const size_t count = size_t{1} << (info - 24);
    if (count > size_ - offset_) return CborDecodeStatus::kCutOff;
    argument = 0;
    for (size_t i = 0; i < count; ++i) argument = (argument << 8) | data_[offset_ + i];
    offset_ += count;
    return CborDecodeStatus::kOk;
  }

  // Every item takes at least one byte, so a count beyond the bytes left is
  // cut off before any node is made for it. Nodes are made one by one as
  // their bytes are read: however the counts nest, there are never more
  // nodes than bytes read.
  CborDecodeStatus Items(CborNode& node, uint64_t count, uint32_t depth) {
    if (count > size_ - offset_) return CborDecodeStatus::kCutOff;
    for (uint64_t i = 0; i < count; ++i) {
      node.children.emplace_back();
      if (CborDecodeStatus status = Item(node.children.back(), depth + 1);
          status != CborDecodeStatus::kOk) {
        return status;
      }
    }
    return CborDecodeStatus::kOk;
  }

  bool AtBreak() const { return offset_ < size_ && data_[offset_] == 0xFF; }

  CborDecodeStatus Indefinite(CborNode& node, uint32_t depth) {
    node.indefinite = true;
    switch (node.major) {
      case 2:
      case 3:
        // Chunks: definite strings of the same major type.
        for (;;) {
          if (offset_ >= size_) return CborDecodeStatus::kCutOff;
          if (AtBreak()) break;
          if ((data_[offset_] >> 5) != node.major || (data_[offset_] & 0x1F) == 31) {
            return CborDecodeStatus::kMalformed;
          }
          node.children.emplace_back();
          if (CborDecodeStatus status = Item(node.children.back(), depth + 1);
              status != CborDecodeStatus::kOk) {
            return status;
          }
        }
        break;
      case 4:
      case 5:
        for (;;) {
          if (offset_ >= size_) return CborDecodeStatus::kCutOff;
          if (AtBreak()) break;
          node.children.emplace_back();
          if (CborDecodeStatus status = Item(node.children.back(), depth + 1);
              status != CborDecodeStatus::kOk) {
            return status;
          }
        }
        // A map needs a value for every key.
        if (node.major == 5 && node.children.size() % 2 != 0) return CborDecodeStatus::kMalformed;
        break;
      default:
        // Indefinite integers and tags do not exist; a break here stands
        // outside any indefinite item.
        return CborDecodeStatus::kMalformed;
    }
    ++offset_;  // the break
    node.argument = node.major == 5 ? node.children.size() / 2 : node.children.size();
    return CborDecodeStatus::kOk;
  }

  CborDecodeStatus Simple(CborNode& node, uint8_t info) {
    switch (info) {
      case 24:
        // Values below 32 have their one-byte form only.
        return node.argument < 32 ? CborDecodeStatus::kMalformed : CborDecodeStatus::kOk;
      case 25:
        node.floatBytes = 2;
        node.floatValue = HalfToDouble(static_cast<uint16_t>(node.argument));
        return CborDecodeStatus::kOk;
      case 26: {
        float value;
        const uint32_t bits = static_cast<uint32_t>(node.argument);
        std::memcpy(&value, &bits, sizeof value);
        node.floatBytes = 4;
        node.floatValue = value;
        return CborDecodeStatus::kOk;
      }
      case 27: {
        double value;
        std::memcpy(&value, &node.argument, sizeof value);
        node.floatBytes = 8;
        node.floatValue = value;
        return CborDecodeStatus::kOk;
      }
      default:
        return CborDecodeStatus::kOk;  // simple values 0..23
    }
  }

  // IEEE 754 binary16: 1 sign bit, 5 exponent bits, 10 fraction bits.
  static double HalfToDouble(uint16_t half) {
    const int exponent = (half >> 10) & 0x1F;
    const int fraction = half & 0x3FF;
    double value;
    if (exponent == 0) {
      value = std::ldexp(fraction, -24);
    } else if (exponent != 31) {
      value = std::ldexp(fraction + 1024, exponent - 25);
    } else {
      value = fraction == 0 ? INFINITY : NAN;
    }
    return (half & 0x8000) ? -value : value;
  }

  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  uint32_t maxDepth_;
};

}  // namespace

CborDecodeResult CborDecode(const uint8_t* data, size_t size, CborNode& out, uint32_t maxDepth) {
  out = CborNode();
  if (data == nullptr) size = 0;
  Decoder decoder(data, size, maxDepth);
  CborDecodeResult result;
  result.status = decoder.Item(out, 0);
  if (result.status == CborDecodeStatus::kOk) result.length = decoder.offset();
  return result;
}

const CborNode* CborMapValue(const CborNode& map, uint64_t key) {
  if (!map.IsMap()) return nullptr;
  for (size_t i = 0; i + 1 < map.children.size(); i += 2) {
    if (map.children[i].IsUnsigned() && map.children[i].argument == key) {
      return &map.children[i + 1];
    }
  }
  return nullptr;
}

const CborNode* CborMapValue(const CborNode& map, std::string_view key) {
  if (!map.IsMap()) return nullptr;
  for (size_t i = 0; i + 1 < map.children.size(); i += 2) {
    if (map.children[i].IsText() && map.children[i].bytes == key) return &map.children[i + 1];
  }
  return nullptr;
}
