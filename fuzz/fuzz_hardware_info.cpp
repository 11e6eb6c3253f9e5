// Arbitrary bytes as a hardware-information record: the scan and the value
// texts must never read outside the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "keyinfo/hardware_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > HW_INFO_CAPACITY) return -1;
  // An exact-size heap copy, so that any read past the end is caught.
  std::unique_ptr<uint8_t[]> record(new uint8_t[size > 0 ? size : 1]);
  if (size > 0) std::memcpy(record.get(), data, size);
  ReportList list;
  AppendHardwareRecordRows(list, record.get(), static_cast<uint32_t>(size));
  return 0;
}
