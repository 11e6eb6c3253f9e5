#include <gtest/gtest.h>

#include "transport/status_text.h"

namespace {

TEST(StatusTextTest, MapsBothKindsOfStatus) {
  struct Case {
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {0x00, "successful."},
      {0x01, "The command is not a valid CTAP command."},
      {0x12, "Error when parsing CBOR."},
      {0x15, "Limit for number of items exceeded."},
      {0x17, "Limit for number of items exceeded."},
      {0x16, "Unsupported extension."},
      {0x18, "Unsupported extension."},
      {0x2B, "Unsupported option."},
      {0x2C, "Unsupported option."},
      {0x31, "PIN Invalid."},
      {0x32, "PIN Blocked."},
      {0x35, "No PIN has been set."},
      {0xDF, "CTAP 2 spec last error."},
      {0xE0, "Extension specific error."},
      {0xEF, "Extension specific error."},
      {0xF0, "Vendor specific error."},
      {0xFF, "Vendor specific error."},
      {0x6700, "Wrong length in Lc, 0x6700"},
      {0x6985, "Conditions of use not satisfied, 0x6985"},
      {0x6A82, "Application not found, 0x6A82"},
      {0x6E00, "Invalid class, 0x6E00"},
      // Not listed: the fallback.
      {0x07, "Unknown Error"},
      {0xE5, "Unknown Error"},
      {0xF5, "Unknown Error"},
      {0x9000, "Unknown Error"},
      {0xFFFB, "Unknown Error"},
      {0xFFFE, "Unknown Error"},
      {-1, "Unknown Error"},
      {0x100, "Unknown Error"},
  };
  for (const Case& c : cases) EXPECT_EQ(CtapStatusText(c.code), c.text) << std::hex << c.code;
}

}  // namespace
