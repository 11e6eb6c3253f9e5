// Runs every CborView lookup and accessor over arbitrary bytes held in a heap
// block of exactly their size, so that any read outside the view is caught by
// AddressSanitizer; then drives CborWriter with operations taken from the
// same bytes into a small exact-size buffer and reads each item back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "cbor/cbor_base.h"
#include "cbor/cbor_head.h"
#include "cbor/cbor_view.h"
#include "cbor/cbor_writer.h"

namespace {

constexpr int32_t kMaxElements = 40;

const char* const kTextKeys[] = {
    "rk",
    "up",
    "uv",
    "plat",
    "clientPin",
    "alg",
    "type",
    "x5c",
    "fmt",
    "authData",
    "attStmt",
    "sig",
    "FIDO",
    "CC-EAL",
    "FIPS-CMVP-2",
    "largeBlobs",
    "makeCredUvNotRqd",
    "noMcGaPermissionsWithClientPin",
    "",
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Block {
  const uint8_t* begin;
  const uint8_t* end;
};

// Every answer stays inside the block.
void CheckView(const CborView& view, const Block& block) {
  if (view.IsEmpty()) return;
  Check(view.data >= block.begin && view.data < block.end);
  Check(view.data + view.size == block.end);
}

void ReadAccessors(const CborView& view, const Block& block) {
  CheckView(view, block);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (view.GetBytes(bytes, length)) Check(bytes >= view.data && bytes + length <= block.end);
  std::string text;
  if (view.GetText(text)) Check(text.size() <= view.size);
  uint32_t number = 0;
  view.GetUnsigned(number);
  uint8_t simple = view.GetSimple();
  Check(simple <= 31);
  int32_t count = view.Count();
  uint32_t itemLength = view.ItemLength();
  if (view.IsEmpty()) Check(count == 0 && itemLength == 0 && simple == 22);
  CborHead head = view.Head();
  Check(head.headLength <= view.size);
}

// Lookups on `view`, then on what they answer, `depth` levels down.
void Probe(const CborView& view, const Block& block, int depth) {
  ReadAccessors(view, block);
  if (depth == 0) return;
  for (int32_t key : {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 9, 10, 0x13, 0x15}) {
    Probe(view.FindIntKey(key), block, depth - 1);
  }
  for (int32_t key : {INT32_MIN, INT32_MAX, 24, 255, 256}) {
    ReadAccessors(view.FindIntKey(key), block);
  }
  for (const char* name : kTextKeys) {
    CborView value = view.FindTextKey(name, static_cast<uint32_t>(std::strlen(name)));
    ReadAccessors(value, block);
  }
  // Text keys whose values are containers in real answers.
  for (const char* name : {"x5c", "attStmt", "FIDO"}) {
    Probe(view.FindTextKey(name, static_cast<uint32_t>(std::strlen(name))), block, depth - 1);
  }
  int32_t count = view.Count();
  for (int32_t i = 0; i < count && i < kMaxElements; ++i) {
    CborView element = view.ElementAt(i);
    ReadAccessors(element, block);
    ReadAccessors(element.FindTextKey("alg"), block);
    ReadAccessors(element.FindTextKey("type"), block);
    if (i < 3) Probe(element, block, depth - 1);
  }
  for (int32_t index : {-1, INT32_MAX, static_cast<int32_t>(CBOR_INDEFINITE) - 1}) {
    ReadAccessors(view.ElementAt(index), block);
  }
}

// The chains the application makes on its answers.
void KnownChains(const CborView& root, const Block& block) {
  ReadAccessors(root.FindIntKey(1).FindIntKey(-2), block);
  ReadAccessors(root.FindIntKey(1).FindIntKey(-3), block);
  CborView x5c = root.FindIntKey(3).FindTextKey("x5c");
  ReadAccessors(x5c, block);
  for (int32_t i = 0; i < 3; ++i) ReadAccessors(x5c.ElementAt(i), block);
  ReadAccessors(root.FindIntKey(3).FindTextKey("sig"), block);
  ReadAccessors(root.FindIntKey(4).FindTextKey("clientPin"), block);
  ReadAccessors(root.FindIntKey(0x13).FindTextKey("FIPS-CMVP-3-PHY"), block);
}

// The bounded reader agrees with the unbounded one over a zero-filled copy.
void CompareHeads(const uint8_t* data, size_t size) {
  uint8_t padded[32] = {};
  size_t length = size < 18 ? size : 18;
  std::memcpy(padded, data, length);
  CborHead bounded;
  CborHead unbounded;
  bounded.ParseHead(padded, static_cast<uint32_t>(length));
  unbounded.ParseHead(padded);
  if (bounded.headLength != 0) {
    Check(bounded.headLength == unbounded.headLength && bounded.argument == unbounded.argument &&
          bounded.tag == unbounded.tag && bounded.major == unbounded.major);
  }
}

uint32_t HeadSize(uint32_t argument) {
  return argument <= 23 ? 1 : argument <= 0xFF ? 2 : argument <= 0xFFFF ? 3 : 5;
}

// Pulls operation arguments from the input.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return offset_ >= size_; }
  uint64_t Take(size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes && offset_ < size_; ++i) value = value << 8 | data_[offset_++];
    return value;
  }
  void Skip(size_t bytes) { offset_ += bytes < left() ? bytes : left(); }
  const uint8_t* rest() const { return data_ + offset_; }
  size_t left() const { return size_ - offset_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

// Each operation writes its whole item or nothing, and what it writes reads
// back as the same head.
void DriveWriter(const uint8_t* data, size_t size) {
  Reader input(data, size);
  uint32_t capacity = static_cast<uint32_t>(input.Take(1) % 48);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
  bool nullBuffer = capacity == 47;
  CborWriter writer(nullBuffer ? nullptr : buffer.get(), capacity);

  for (int op = 0; op < 64 && !input.empty(); ++op) {
    uint32_t before = writer.position();
    uint8_t major = 0;
    uint64_t argument = 0;
    uint64_t payload = 0;
    switch (input.Take(1) % 6) {
      case 0:
        major = static_cast<uint8_t>(input.Take(1) % 8);
        argument = input.Take(4);
        writer.WriteHead(major, static_cast<uint32_t>(argument));
        break;
      case 1: {
        int64_t value = static_cast<int64_t>(input.Take(1) & 1 ? input.Take(8) : input.Take(2));
        major = value < 0 ? 1 : 0;
        argument = value < 0 ? static_cast<uint64_t>(-1 - value) : static_cast<uint64_t>(value);
        writer.WriteInt(value);
        break;
      }
      case 2:
      case 3: {
        major = input.Take(1) & 1 ? 2 : 3;
        size_t length = input.Take(1) % 40;
        if (length > input.left()) length = input.left();
        argument = payload = length;
        if (major == 2) {
          writer.WriteBytes(input.rest(), static_cast<uint32_t>(length));
        } else {
          writer.WriteText(reinterpret_cast<const char*>(input.rest()),
                           static_cast<uint32_t>(length));
        }
        input.Skip(length);
        break;
      }
      case 4:
        major = 5;
        argument = input.Take(2);
        writer.WriteMap(static_cast<uint32_t>(argument));
        break;
      default:
        major = 4;
        argument = input.Take(3);
        writer.WriteArray(static_cast<uint32_t>(argument));
        break;
    }
    uint32_t written = writer.position() - before;
    Check(writer.position() <= writer.capacity());
    if (written == 0) continue;
    Check(!nullBuffer && argument <= UINT32_MAX);
    Check(written == HeadSize(static_cast<uint32_t>(argument)) + payload);
    // A tag head needs the tagged item after it: read it with a null behind.
    uint8_t item[64];
    std::memcpy(item, buffer.get() + before, written);
    item[written] = 0xF6;
    CborHead head;
    Check(head.Read(item, written + 1) == CborHeadStatus::kRead);
    if (major == 6) {
      Check(head.tag == argument && head.major == 7 && head.headLength == written + 1);
    } else {
      Check(head.major == major && head.argument == argument && head.tag == CBOR_NO_TAG);
      Check(head.headLength + payload == written);
    }
  }
  CborView written(buffer.get(), writer.position());
  Block block{buffer.get(), buffer.get() + writer.position()};
  Probe(written, block, 1);

  // The null item's encoding into a small buffer.
  uint32_t tag = static_cast<uint32_t>(input.Take(4));
  uint32_t room = capacity % 8;
  std::unique_ptr<uint8_t[]> out(new uint8_t[room]);
  uint32_t encoded = CborBase(7, 22, tag).Encode(out.get(), room);
  Check(encoded <= room);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFF) return 0;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  Block block{copy.get(), copy.get() + size};
  CborView root(copy.get(), static_cast<uint32_t>(size));

  Probe(root, block, 2);
  KnownChains(root, block);
  CompareHeads(copy.get(), size);
  DriveWriter(copy.get(), size);
  return 0;
}
