#include "credentials/answer_members.h"

#include "cbor/cbor_walk.h"

uint32_t WholeItemLength(const uint8_t* data, uint32_t size) {
  CborHead head;
  if (data == nullptr || head.Read(data, size) != CborHeadStatus::kRead) return 0;
  if (head.info == CBOR_INFO_INDEFINITE) return 0;
  const bool string = head.major == CBOR_MAJOR_BYTES || head.major == CBOR_MAJOR_TEXT;
  const bool container = head.major == CBOR_MAJOR_ARRAY || head.major == CBOR_MAJOR_MAP;
  if (string) {
    const uint64_t length = uint64_t{head.headLength} + head.argument;
    return length <= size ? static_cast<uint32_t>(length) : 0;
  }
  if (!container || head.argument == 0) return head.headLength;
  // The walk lets a break code close a definite container; here any break,
  // like any other indefinite length, makes the item unreadable.
  CborWalk walk(data, size, head);
  while (walk.Next() == CborWalk::Step::kItem) {
    if (walk.offset() > size || walk.head().info == CBOR_INFO_INDEFINITE) return 0;
    if (walk.complete()) return static_cast<uint32_t>(walk.offset());
  }
  return 0;
}

int32_t OpenAnswerMap(const uint8_t* answer, uint32_t length, CborView& map) {
  map = CborView();
  if (length == 0) return ANSWER_OK;
  if (answer == nullptr) return ANSWER_UNREADABLE;
  CborView view(answer, length);
  if (view.Head().major != CBOR_MAJOR_MAP || WholeItemLength(answer, length) == 0) {
    return ANSWER_UNREADABLE;
  }
  map = view;
  return ANSWER_OK;
}

std::optional<uint32_t> MemberReader::Unsigned(CborView value) {
  if (value.IsEmpty()) return std::nullopt;
  uint32_t number = 0;
  if (value.Head().info == CBOR_INFO_INDEFINITE || !value.GetUnsigned(number)) {
    wrong_ = true;
    return std::nullopt;
  }
  return number;
}

std::optional<std::vector<uint8_t>> MemberReader::Bytes(CborView value) {
  if (value.IsEmpty()) return std::nullopt;
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!value.GetBytes(bytes, length)) {
    wrong_ = true;
    return std::nullopt;
  }
  return std::vector<uint8_t>(bytes, bytes + length);
}

std::optional<std::vector<uint8_t>> MemberReader::FixedBytes(CborView value, uint32_t length) {
  std::optional<std::vector<uint8_t>> bytes = Bytes(value);
  if (bytes && bytes->size() != length) {
    wrong_ = true;
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::string> MemberReader::Text(CborView value) {
  if (value.IsEmpty()) return std::nullopt;
  std::string text;
  if (!value.GetText(text)) {
    wrong_ = true;
    return std::nullopt;
  }
  return text;
}

std::optional<bool> MemberReader::Bool(CborView value) {
  if (value.IsEmpty()) return std::nullopt;
  const CborHead head = value.Head();
  if (head.major == CBOR_MAJOR_SIMPLE && head.info == CBOR_SIMPLE_TRUE) return true;
  if (head.major == CBOR_MAJOR_SIMPLE && head.info == CBOR_SIMPLE_FALSE) return false;
  wrong_ = true;
  return std::nullopt;
}

bool MemberReader::IsMapOrMissing(CborView value) {
  if (value.IsEmpty() || value.Head().major == CBOR_MAJOR_MAP) return true;
  wrong_ = true;
  return false;
}
