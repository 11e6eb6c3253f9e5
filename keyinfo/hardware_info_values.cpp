#include "keyinfo/hardware_info_values.h"

#include <cstdio>
#include <cstring>
#include <iterator>

// The right single quotation mark U+2019, as UTF-8.
#define RIGHT_QUOTE "\xE2\x80\x99"

namespace {

const char kUnknown[] = "unknown";

const char* const kProductTexts[] = {
    "Arvelle ", "Brisotte ", "Calvine ", "Dorimel ", "Esquade ",
    "Folvane ", "Gantrel ",  "Hesmore ", "Ilvaton ", "Jorquel ",
};
const char* const kModelTexts[] = {
    "| RA01 ", "| RA02 ", "| RA03 ", "| RA04 ", "| RA05 ", "| RA06 ",
    "| RA07 ", "| RA08 ", "| RA09 ", "| RA10 ", "| RA11 ", "| RA12 ",
    "| RA13 ", "| RA14 ", "| RA15 ", "| RA16 ", "| RA17 ",
};
const char* const kSecondaryTexts[] = {
    "| SB01 ", "| SB02 ", "| SB03 ", "| SB04 ", "| SB05 ", "| SB06 ",
    "| SB07 ", "| SB08 ", "| SB09 ", "| SB10 ", "| SB11 ", "| SB12 ",
};

template <size_t N>
const char* Pick(const char* const (&texts)[N], uint8_t index, const char* other) {
  return index < N ? texts[index] : other;
}

struct ByteText {
  uint8_t byte;
  const char* text;
};

template <size_t N>
const char* Lookup(const ByteText (&table)[N], uint8_t byte, const char* other = kUnknown) {
  for (const ByteText& entry : table) {
    if (entry.byte == byte) return entry.text;
  }
  return other;
}

const ByteText kCustomizationTexts[] = {
    {0, "TOVARIN Standard"}, {1, "KORVALUX"}, {2, "Zentil"}, {3, "Ombrik"}, {7, "Westorra"},
};

const ByteText kProtocolTexts[] = {
    {0x20, "FIDO(0x20)"},     {0x30, "KB+FIDO(0x30)"},   {0x40, "CCID(0x40)"},
    {0x50, "KB+CCID(0x50)"},  {0x60, "FIDO+CCID(0x60)"}, {0x70, "KB+FIDO+CCID(0x70)"},
    {0xA0, "FIDO+WBF(0xA0)"}, {0xC0, "CCID+WBF(0xC0)"},  {0xE0, "FIDO+CCID+WBF(0xE0)"},
};

const ByteText kAlwaysUvTexts[] = {
    {0x00, "Default is false, allow user to configure using Halvern manager."},
    {0x01, "Default is true, allow user to configure using Halvern manager."},
    {0x80, "Default is false, don" RIGHT_QUOTE "t allow user to configure using any tool."},
    {0x81, "Default is true, don" RIGHT_QUOTE "t allow user to configure using any tool."},
};

const ByteText kClientPinPermissionTexts[] = {
    {0, "Set noMcGaPermissionsWithClientPin is false."},
    {1, "Set noMcGaPermissionsWithClientPin is true when tag 90 is set 01."},
};

const char kAfterResetLine[] = "    After reset, it will set to false.";

using Lines = std::vector<std::string>;

Lines ProductLines(const uint8_t* value, uint32_t length) {
  if (length < 2) return {kUnknown};
  std::string text;
  if (length == 2) {
    text = Pick(kProductTexts, value[1], "unknown ");
    text += Pick(kModelTexts, value[0], "| unknown ");
    return {text};
  }
  text = Pick(kProductTexts, value[2], "unknown ");
  text += Pick(kModelTexts, value[1], "| unknown ");
  text += Pick(kSecondaryTexts, value[0], "| unknown ");
  return {text};
}

// The serial number is text, possibly zero-padded inside its entry.
Lines SerialLines(const uint8_t* value, uint32_t length) {
  const void* zero = std::memchr(value, 0, length);
  const size_t textLength =
      zero != nullptr ? static_cast<const uint8_t*>(zero) - value : static_cast<size_t>(length);
  return {std::string(reinterpret_cast<const char*>(value), textLength)};
}

// 12 03 -> 1.2.3 (nibbles of the first byte, then the second byte);
// 01 02 03 -> 1.2.3 when the first byte is below 0x10.
Lines VersionLines(const uint8_t* value, uint32_t length) {
  char text[32];
  if (length >= 2 && value[0] >= 0x10) {
    snprintf(text, sizeof text, "%X.%X.%X", value[0] >> 4, value[0] & 0x0F, value[1]);
  } else if (length >= 3) {
    snprintf(text, sizeof text, "%X.%X.%X", value[0], value[1], value[2]);
  } else {
    return {kUnknown};
  }
  return {text};
}

// Seven bytes, printed as two hex digits each: packed decimal date and time.
Lines ProductionLines(const uint8_t* value, uint32_t length) {
  if (length < 7) return {kUnknown};
  char text[32];
  snprintf(text, sizeof text, "%02X%02X-%02X-%02X %02X:%02X:%02X", value[0], value[1], value[2],
           value[3], value[4], value[5], value[6]);
  return {text};
}

Lines PinComplexityLines(const uint8_t* value, uint32_t length) {
  if (length < 7) return {kUnknown};
  char minimum[40];
  char maximum[40];
  snprintf(minimum, sizeof minimum, "Minimum PIN length: %d", value[6]);
  snprintf(maximum, sizeof maximum, "Maximum PIN length: %d", value[5]);
  auto required = [](uint8_t byte) { return byte != 0 ? "required" : "not required"; };
  return {
      minimum,
      maximum,
      std::string("Minimum 1 Lowercase alphabet: ") + required(value[4]),
      std::string("Minimum 1 Uppercase alphabet: ") + required(value[3]),
      std::string("Minimum 1 Special character: ") + required(value[2]),
      std::string("Minimum 1 numeric digit: ") + required(value[1]),
      std::string("Week passwords should not be allowed: ") + required(value[0]),
  };
}

Lines EaDefaultLines(const uint8_t* value, uint32_t length) {
  if (length < 2) return {kUnknown};
  if (value[0] == 0 && value[1] == 0) {
    return {"Default is false, allow user to configure using Halvern manager;", kAfterResetLine};
  }
  if (value[0] == 1 && value[1] == 0) {
    return {"Default is true, allow user to configure using Halvern manager;", kAfterResetLine};
  }
  if (value[0] == 1 && value[1] == 1) return {"Default is true;", kAfterResetLine};
  return {kUnknown};
}

Lines LedLines(uint8_t byte) {
  switch (byte) {
    case 0:
      return {"LED is off during IDLE state, this is default value when user doesn" RIGHT_QUOTE
              "t set.",
              "    Every 3 second LED turns on to indicate the security key is inserted."};
    case 1:
      return {"LED is on during. IDLE state."};
    case 2:
      return {"LED is breathing during IDLE state."};
    default:
      return {kUnknown};
  }
}

Lines TransportLines(uint8_t byte) {
  std::string text = (byte & 0x01) != 0 ? "USB " : "Unused ";
  if ((byte & 0x20) != 0) text += "\\ NFC ";
  if ((byte & 0x40) != 0) text += "\\ BLE ";
  if ((byte & 0x80) != 0) text += "\\ Smart card (ISO7816) ";
  return {text};
}

// Decoders of the tags whose value text comes from their first byte alone.
Lines FirstByteLines(uint8_t tag, uint8_t byte) {
  switch (tag) {
    case 0x86:
      return {Lookup(kProtocolTexts, byte)};
    case 0x88:
      return {Lookup(kAlwaysUvTexts, byte)};
    case 0x90:
      return {Lookup(kClientPinPermissionTexts, byte)};
    case 0x93:
      return LedLines(byte);
    case 0x94:
      return TransportLines(byte);
  }
  return {kUnknown};
}

}  // namespace

const char* HardwareTagCaption(uint8_t tag) {
  switch (tag) {
    case 0x81:
      return "Product name";
    case 0x82:
      return "Serial number";
    case 0x83:
      return "Customization information";
    case 0x84:
      return "COS version";
    case 0x85:
      return "Production information";
    case 0x86:
      return "Device protocol information";
    case 0x87:
      return "PIN complexity";
    case 0x88:
      return "Set alwaysUV";
    case 0x89:
      return "Set EA default value";
    case 0x90:
      return "noMcGaPermissionsWithClientPin";
    case 0x91:
      return "Client PIN";
    case 0x92:
      return "Build version";
    case 0x93:
      return "LED status";
    case 0x94:
      return "Transport Value";
  }
  return nullptr;
}

std::vector<std::string> HardwareValueLines(uint8_t tag, const uint8_t* value, uint32_t length) {
  switch (tag) {
    case 0x81:
      return ProductLines(value, length);
    case 0x82:
      return SerialLines(value, length);
    case 0x83:
      // Byte 0 carries nothing this tool shows.
      if (length < 2) return {kUnknown};
      return {Lookup(kCustomizationTexts, value[1], "unknown ")};
    case 0x84:
    case 0x92:
      return VersionLines(value, length);
    case 0x85:
      return ProductionLines(value, length);
    case 0x87:
      return PinComplexityLines(value, length);
    case 0x89:
      return EaDefaultLines(value, length);
    case 0x91:
      return {std::string()};
    case 0x86:
    case 0x88:
    case 0x90:
    case 0x93:
    case 0x94:
      if (length < 1) return {kUnknown};
      return FirstByteLines(tag, value[0]);
  }
  return {kUnknown};
}
