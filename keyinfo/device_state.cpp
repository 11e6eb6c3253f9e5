#include "keyinfo/device_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "attestation/tab_state.h"
#include "cbor/cbor_view.h"
#include "keyinfo/applet_queries.h"
#include "keyinfo/getinfo_display.h"
#include "keyinfo/hardware_info.h"
#include "transport/key_device.h"
#include "transport/trace.h"

namespace {

enum class RowRule { kTextNotEmpty, kAnyText, kPresence };

struct AppletRow {
  int (*query)(char* text);
  const char* caption;
  RowRule rule;
};

void AddAppletRow(ReportList& list, const AppletRow& row) {
  char text[APPLET_TEXT_CAPACITY];
  std::memset(text, 0, sizeof text);
  if (row.query(text) != QUERY_OK) return;
  switch (row.rule) {
    case RowRule::kTextNotEmpty:
      if (text[0] != '\0') list.AppendRow(row.caption, text);
      break;
    case RowRule::kAnyText:
      list.AppendRow(row.caption, text);
      break;
    case RowRule::kPresence:
      list.AppendRow(row.caption, "yes");
      break;
  }
}

// Leading hex digits as a number, 0 when there are none (like wcstol with
// base 16, without its sign and "0x" handling getting in the way).
int HexPrefixValue(const std::string& text) {
  long value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * 16 + digit;
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return static_cast<int>(value);
}

std::string Hex4(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

}  // namespace

void GetDeviceState(QuillmarkModel& model, const std::string& vidText, const std::string& pidText) {
  KeyTrace("GetDeviceState start...\n");

  model.infoList.Clear();
  ClearFido2Certificates(model);
  ClearU2fCertificates(model);
  if (model.securityKeyInfoEnabled) model.securityKeyList.Clear();

  model.aaguidText.clear();
  model.getInfoAnswer.clear();
  keyHasPin = false;
  KeyLayerReady = true;

  KeyEnumerate();
  if (!vidText.empty() && !pidText.empty()) {
    KeySelect(HexPrefixValue(vidText), HexPrefixValue(pidText));
  } else {
    KeySelect(0, 0);
  }

  KeyDeviceInfo device;
  KeyGetSelected(&device);
  if (device.IsEmpty()) {
    KeyTrace("GetDeviceState End...\n");
    return;
  }
  ShowFido2Tips(model);
  ShowU2fTips(model);

  ReportList& list = model.infoList;
  list.AppendRow("Device name", device.productName);
  list.AppendRow("VID", Hex4(device.vendorId));
  list.AppendRow("PID", Hex4(device.productId));
  list.AppendRow("Firmware Version", device.version);

  static const AppletRow kBeforeSeparator[] = {
      {QueryIdentify, "IDentify", RowRule::kTextNotEmpty},
      {QueryFingerprintModuleVersion, "Fingerprint Module Version", RowRule::kTextNotEmpty},
  };
  static const AppletRow kAfterSeparator[] = {
      {QueryWinHelloVersion, "Win Hello Version", RowRule::kTextNotEmpty},
      {QueryOtpVersion, "OTP Version", RowRule::kTextNotEmpty},
      {QueryPivVersion, "PIV Version", RowRule::kTextNotEmpty},
      {QueryGidsVersion, "GIDS", RowRule::kAnyText},
      {QueryNdefPresent, "NDEF", RowRule::kPresence},
      {QueryU2fVersion, "U2F Version", RowRule::kTextNotEmpty},
  };
  for (const AppletRow& row : kBeforeSeparator) AddAppletRow(list, row);
  list.AppendRow("    ");
  for (const AppletRow& row : kAfterSeparator) AddAppletRow(list, row);

  // Zero-filled: an answer that is the status byte alone reads as zeros.
  uint8_t response[GETINFO_RESPONSE_CAPACITY];
  std::memset(response, 0, sizeof response);
  uint32_t responseLength = GETINFO_RESPONSE_CAPACITY;
  const uint8_t getInfo[] = {0x04};
  if (KeySendCbor(getInfo, sizeof getInfo, response, &responseLength) == 0) {
    ShowGetInfo(model, CborView(response, responseLength));
    ShowHardwareInfo(model);
  }

  KeyTrace("GetDeviceState End...\n");
}
