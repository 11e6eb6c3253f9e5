// Base64Decode on arbitrary text in a heap block of exactly its size (no
// terminator), and the round trip of the same bytes through Base64Encode.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "attestation/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size]);
  if (size != 0) std::memcpy(text.get(), data, size);
  const std::vector<uint8_t> decoded = Base64Decode(text.get(), size);
  // At most three bytes for every four characters.
  if (decoded.size() > size / 4 * 3 + 2) __builtin_trap();

  const std::string encoded = Base64Encode(data, size);
  if (encoded.size() != (size + 2) / 3 * 4) __builtin_trap();
  if (Base64Decode(encoded.c_str(), encoded.size()) != std::vector<uint8_t>(data, data + size)) {
    __builtin_trap();
  }
  return 0;
}
