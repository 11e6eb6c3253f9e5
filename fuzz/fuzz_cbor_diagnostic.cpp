// Writes the diagnostic notation of arbitrary bytes, as one item and as a
// sequence, from a heap block of exactly their size, and checks the bounds the
// writer promises: the notation never passes its length limit (plus the cut
// mark) and a well-formed item never claims more bytes than there are.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cbor/cbor_diagnostic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(block.get(), data, size);

  CborDiagnosticLimits limits;
  limits.maxLength = 512;
  limits.maxDepth = 24;
  const CborDiagnosticResult item = CborDiagnostic(block.get(), size, limits);
  if (item.status == CborDecodeStatus::kOk) {
    if (item.length == 0 || item.length > size) std::abort();
    if (item.text.size() > limits.maxLength + 3) std::abort();
  } else if (!item.text.empty()) {
    std::abort();
  }

  const CborDiagnosticResult sequence = CborSequenceDiagnostic(block.get(), size, limits);
  if (sequence.status == CborDecodeStatus::kOk &&
      (sequence.length != size || sequence.text.size() > limits.maxLength + 3)) {
    std::abort();
  }
  return 0;
}
