// authenticatorGetInfo display on arbitrary answers. The bytes are copied into
// a heap buffer of exactly their size, so any read past the answer trips the
// address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "cbor/cbor_view.h"
#include "keyinfo/getinfo_display.h"
#include "keyinfo/quillmark_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  std::unique_ptr<uint8_t[]> answer(new uint8_t[size]);
  if (size != 0) std::memcpy(answer.get(), data, size);
  QuillmarkModel model;
  keyHasPin = false;
  ShowGetInfo(model, CborView(answer.get(), static_cast<uint32_t>(size)));
  // The versions row is always there.
  if (model.infoList.RowCount() == 0) __builtin_trap();
  return 0;
}
