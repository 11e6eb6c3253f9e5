// The inventory summary on arbitrary bytes: every line is counted once, as a
// check or as unreadable.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "policy/inventory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const InventorySummary summary = SummarizeInventory(data, size);
  if (summary.passed + summary.failed != summary.checks) __builtin_trap();
  size_t lines = 0;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  if (summary.checks + summary.unreadable > lines + 1) __builtin_trap();
  return 0;
}
