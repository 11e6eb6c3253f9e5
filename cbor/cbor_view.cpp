// The accessors of CborView: they read the item's head, within `size`, and
// never walk.
#include "cbor/cbor_view.h"

namespace {

// A definite string whose bytes lie wholly inside the view.
bool StringFits(const CborHead& head, uint32_t size) {
  return head.headLength != 0 && head.info != CBOR_INFO_INDEFINITE &&
         uint64_t{head.headLength} + head.argument <= size;
}

}  // namespace

CborHead CborView::Head() const {
  CborHead head;
  if (!IsEmpty()) head.Read(data, size);
  return head;
}

int32_t CborView::Count() const {
  CborHead head = Head();
  if (head.major < CBOR_MAJOR_BYTES || head.major > CBOR_MAJOR_MAP) return 0;
  if (head.info == CBOR_INFO_INDEFINITE) return static_cast<int32_t>(CBOR_INDEFINITE);
  return static_cast<int32_t>(head.argument);
}

bool CborView::GetUnsigned(uint32_t& out) const {
  CborHead head = Head();
  if (head.headLength == 0 || head.major != CBOR_MAJOR_UNSIGNED) return false;
  out = head.argument;
  return true;
}

bool CborView::GetBytes(const uint8_t*& outData, uint32_t& outLength) const {
  CborHead head = Head();
  if (head.major != CBOR_MAJOR_BYTES || !StringFits(head, size)) return false;
  outData = data + head.headLength;
  outLength = head.argument;
  return true;
}

bool CborView::GetText(std::string& outString) const {
  CborHead head = Head();
  if (head.major != CBOR_MAJOR_TEXT || !StringFits(head, size)) return false;
  outString.assign(reinterpret_cast<const char*>(data + head.headLength), head.argument);
  return true;
}

uint8_t CborView::GetSimple() const { return Head().info; }
