#include "keyinfo/device_state.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "attestation/tab_state.h"
#include "cbor/cbor_view.h"
#include "keyinfo/applet_queries.h"
#include "keyinfo/details_page.h"
#include "keyinfo/details_questions.h"
#include "keyinfo/getinfo_display.h"
#include "keyinfo/hardware_info.h"
#include "keyinfo/passkeys_page.h"
#include "transport/key_device.h"
#include "transport/trace.h"

const char* const KEY_DID_NOT_ANSWER_TEXT =
    "The key did not answer. Unplug it and plug it in again.";
const char* const KEY_REMOVED_TEXT = "The key was removed or stopped answering.";
const char* const KEY_CONNECTION_LOST_TEXT = "The connection to the key was lost.";
const char* const KEY_CARD_UNKNOWN_TEXT = "not known over a card reader";
const char* const KEY_CARD_REMOVED_TEXT = "The card was taken off the reader or stopped answering.";

std::string KeyStoppedText(const QuillmarkModel& model) {
  if (!model.keyDidNotAnswer) return std::string();
  const DeviceName* named = KeyDevice::Instance().namedDevice();
  if (KeyDevice::Instance().selected.card) {
    return model.keyLinkLost ? KEY_CARD_REMOVED_TEXT : KEY_DID_NOT_ANSWER_TEXT;
  }
  if (named != nullptr && named->network()) {
    if (model.keyLinkLost) return KEY_CONNECTION_LOST_TEXT;
    return "The authenticator at " + named->path + " did not answer.";
  }
  return model.keyLinkLost ? KEY_REMOVED_TEXT : KEY_DID_NOT_ANSWER_TEXT;
}

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

// The ids as wcstol reads them with base 16: leading blanks, a sign and a
// "0x" prefix are taken, then hex digits; 0 when there are none. A 32-bit
// long saturates, as it does where the ids come from device paths.
int HexIdValue(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 16);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

std::string Hex4(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

// The refresh, with `selectKey` choosing the key after the enumeration.
void RefreshSelectedKey(QuillmarkModel& model, const std::function<void()>& selectKey) {
  KeyTrace("GetDeviceState start...\n");

  model.infoList.Clear();
  ClearFido2Certificates(model);
  ClearU2fCertificates(model);
  if (model.securityKeyInfoEnabled) model.securityKeyList.Clear();
  ClearDetailsPage(model);
  PasskeysList(model).Clear();

  model.aaguidText.clear();
  model.keyDidNotAnswer = false;
  model.keyLinkLost = false;
  model.getInfoAnswer.clear();
  keyHasPin = false;
  KeyLayerReady = true;

  KeyEnumerate();
  selectKey();

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
  // A reader tells nothing of the card's maker or firmware.
  list.AppendRow("VID", device.card ? KEY_CARD_UNKNOWN_TEXT : Hex4(device.vendorId));
  list.AppendRow("PID", device.card ? KEY_CARD_UNKNOWN_TEXT : Hex4(device.productId));
  list.AppendRow("Firmware Version", device.card ? KEY_CARD_UNKNOWN_TEXT : device.version);

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
  // A key that has hung would keep every further request waiting for the
  // whole time-out, and one whose link failed fails every further request:
  // one is enough to tell. Rows that came after either would be a report
  // cut short that looks complete.
  auto stopped = [&model] {
    if (KeyLastExchangeLinkLost()) model.keyLinkLost = true;
    if (KeyLastExchangeTimedOut() || model.keyLinkLost) model.keyDidNotAnswer = true;
    return model.keyDidNotAnswer;
  };
  for (const AppletRow& row : kBeforeSeparator) {
    if (!stopped()) AddAppletRow(list, row);
  }
  if (!stopped()) list.AppendRow("    ");
  for (const AppletRow& row : kAfterSeparator) {
    if (!stopped()) AddAppletRow(list, row);
  }

  if (!stopped()) {
    // Zero-filled: an answer that is the status byte alone reads as zeros.
    uint8_t response[GETINFO_RESPONSE_CAPACITY];
    std::memset(response, 0, sizeof response);
    uint32_t responseLength = GETINFO_RESPONSE_CAPACITY;
    const uint8_t getInfo[] = {0x04};
    const uint8_t* getInfoAnswer = nullptr;
    if (KeySendCbor(getInfo, sizeof getInfo, response, &responseLength) == 0) {
      ShowGetInfo(model, CborView(response, responseLength));
      // The maker's hardware record is asked for over USB only.
      if (!device.card) ShowHardwareInfo(model);
      getInfoAnswer = response;
      ResetPasskeysPage(model);
    }
    // Last, so that its questions come after all of the pages before it.
    if (!stopped()) {
      FillDetailsPage(model, getInfoAnswer, responseLength, GETINFO_RESPONSE_CAPACITY);
      stopped();
    }
  }

  KeyTrace("GetDeviceState End...\n");
}

}  // namespace

void GetDeviceState(QuillmarkModel& model, const std::string& vidText, const std::string& pidText) {
  RefreshSelectedKey(model, [&] {
    if (!vidText.empty() && !pidText.empty()) {
      KeySelect(HexIdValue(vidText), HexIdValue(pidText));
    } else {
      KeySelect(0, 0);
    }
  });
}

void GetDeviceStateOfPath(QuillmarkModel& model, const std::string& path) {
  RefreshSelectedKey(model, [&] { KeySelectPath(path); });
}
