#include "credman/answer_members.h"

int32_t OpenAnswerMap(const uint8_t* answer, uint32_t length, CborView& map) {
  map = CborView();
  if (length == 0) return ANSWER_OK;
  if (answer == nullptr) return ANSWER_UNREADABLE;
  CborView view(answer, length);
  const uint32_t itemLength = view.ItemLength();
  if (view.Head().major != CBOR_MAJOR_MAP || itemLength == 0 || itemLength > length) {
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
