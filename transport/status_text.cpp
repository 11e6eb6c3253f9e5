#include "transport/status_text.h"

#include <cstdio>
#include <iterator>

namespace {

struct StatusTextRow {
  int32_t code;
  const char* text;
};

const StatusTextRow kCtapStatusTexts[] = {
    {0x00, "successful."},
    {0x01, "The command is not a valid CTAP command."},
    {0x02, "The command included an invalid parameter."},
    {0x03, "Invalid message or item length."},
    {0x04, "Invalid message sequencing."},
    {0x05, "Message timed out."},
    {0x06, "Channel busy."},
    {0x0A, "Command requires channel lock."},
    {0x0B, "Command not allowed on this cid."},
    {0x10, "Error while parsing CBOR."},
    {0x11, "Invalid/unexpected CBOR error."},
    {0x12, "Error when parsing CBOR."},
    {0x13, "Invalid or unexpected CBOR type."},
    {0x14, "Missing non-optional parameter."},
    {0x15, "Limit for number of items exceeded."},
    {0x16, "Unsupported extension."},
    {0x17, "Limit for number of items exceeded."},
    {0x18, "Unsupported extension."},
    {0x19, "Valid credential found in the exclude list."},
    {0x21, "Processing (Lengthy operation is in progress)."},
    {0x22, "Credential not valid for the authenticator."},
    {0x23, "Authentication is waiting for user interaction."},
    {0x24, "Processing, lengthy operation is in progress."},
    {0x25, "No request is pending."},
    {0x26, "Authenticator does not support requested algorithm."},
    {0x27, "Not authorized for requested operation."},
    {0x28, "Internal key storage is full."},
    {0x29, "Authenticator cannot cancel as it is not busy."},
    {0x2A, "No outstanding operations."},
    {0x2B, "Unsupported option."},
    {0x2C, "Unsupported option."},
    {0x2D, "Pending keep alive was cancelled."},
    {0x2E, "No valid credentials provided."},
    {0x2F, "Timeout waiting for user interaction."},
    {0x30, "Continuation command, such as, authenticatorGetNextAssertion not allowed."},
    {0x31, "PIN Invalid."},
    {0x32, "PIN Blocked."},
    {0x33, "PIN authentication,pinAuth, verification failed."},
    {0x34, "PIN authentication,pinAuth, blocked. Requires power recycle to reset."},
    {0x35, "No PIN has been set."},
    {0x36, "PIN is required for the selected operation."},
    {0x37, "PIN policy violation. Currently only enforces minimum length."},
    {0x38, "pinToken expired on authenticator."},
    {0x39, "Authenticator cannot handle this request due to memory constraints."},
    {0x3A, "The current operation has timed out."},
    {0x3B, "User presence is required for the requested operation."},
    {0x7F, "Other unspecified error."},
    {0xDF, "CTAP 2 spec last error."},
    {0xE0, "Extension specific error."},
    {0xEF, "Extension specific error."},
    {0xF0, "Vendor specific error."},
    {0xFF, "Vendor specific error."},
};

const StatusTextRow kStatusWordTexts[] = {
    {0x6200, "Application has been logically deleted, 0x6200"},
    {0x6310, "More data available, 0x6310"},
    {0x6400, "No specific diagnosis, 0x6400"},
    {0x6581, "Memory Failure, 0x6581"},
    {0x6700, "Wrong length in Lc, 0x6700"},
    {0x6982, "Security status not satisfied, 0x6982"},
    {0x6985, "Conditions of use not satisfied, 0x6985"},
    {0x6A80, "Incorrect values in command data, 0x6A80"},
    {0x6A82, "Application not found, 0x6A82"},
    {0x6A84, "Not enough memory space, 0x6A84"},
    {0x6A86, "Incorrect P1 P2, 0x6A86"},
    {0x6A88, "Referenced data not found, 0x6A88"},
    {0x6D00, "Invalid instruction, 0x6D00"},
    {0x6E00, "Invalid class, 0x6E00"},
};

template <size_t N>
const char* Lookup(const StatusTextRow (&table)[N], int32_t code) {
  for (const StatusTextRow& row : table) {
    if (row.code == code) return row.text;
  }
  return nullptr;
}

}  // namespace

std::string CtapStatusText(int32_t code) {
  const char* text = nullptr;
  if (code >= 0 && code <= 0xFF) {
    text = Lookup(kCtapStatusTexts, code);
  } else if (code > 0xFF) {
    text = Lookup(kStatusWordTexts, code);
  }
  return text != nullptr ? text : "Unknown Error";
}

std::string CtapStatusWithCode(int32_t code) {
  std::string text = CtapStatusText(code);
  if (!text.empty() && text.back() == '.') text.pop_back();
  char number[16];
  std::snprintf(number, sizeof number, code >= 0 && code <= 0xFF ? "0x%02X" : "0x%04X",
                static_cast<unsigned>(code));
  return text + " (status " + number + ")";
}
