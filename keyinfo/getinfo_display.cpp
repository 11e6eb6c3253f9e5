#include "keyinfo/getinfo_display.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "keyinfo/getinfo_options.h"
#include "keyinfo/hex_encode.h"

namespace {

constexpr char kFirstCaption[] = "authenticatorGetInfo";
constexpr char kCaption[] = " ";
constexpr size_t kAaguidTextCapacity = 1024;
constexpr size_t kNumberTextCapacity = 100;

// The 32-bit argument printed as signed decimal: 4294967295 shows as -1.
std::string Decimal(uint32_t value) {
  char text[kNumberTextCapacity];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  return text;
}

// The argument of an unsigned integer, read from its head within the view (a
// head cut off by the end of the answer reads as null).
bool ReadUnsigned(const CborView& view, uint32_t& value) {
  const CborHead head = view.Head();
  if (head.major != CBOR_MAJOR_UNSIGNED) return false;
  value = head.argument;
  return true;
}

// A definite text string whose bytes lie wholly inside the view.
bool ReadText(const CborView& view, std::string& text) {
  const CborHead head = view.Head();
  if (head.major != CBOR_MAJOR_TEXT || head.info == CBOR_INFO_INDEFINITE) return false;
  if (head.headLength == 0 || head.argument > view.size - head.headLength) return false;
  return view.GetText(text);
}

// A definite byte string whose bytes lie wholly inside the view.
bool ReadBytes(const CborView& view, const uint8_t*& bytes, uint32_t& length) {
  const CborHead head = view.Head();
  if (head.major != CBOR_MAJOR_BYTES || head.info == CBOR_INFO_INDEFINITE) return false;
  const uint8_t* start = nullptr;
  uint32_t count = 0;
  if (!view.GetBytes(start, count)) return false;
  if (start < view.data || start > view.data + view.size) return false;
  const uint32_t available = static_cast<uint32_t>(view.data + view.size - start);
  if (count > available) return false;
  bytes = start;
  length = count;
  return true;
}

// Calls visit(entry) for the entries 0 to Count - 1 of an array. An
// indefinite array ends at the first empty entry view (its break code or the
// end of the data). Every entry takes at least one byte, so no more entries
// are visited than the view has bytes, whatever count the head claims.
template <typename Visit>
void ForEachEntry(const CborView& array, Visit visit) {
  if (array.Head().major != CBOR_MAJOR_ARRAY) return;
  const int32_t count = array.Count();
  if (count <= 0) return;
  const bool indefinite = static_cast<uint32_t>(count) == CBOR_INDEFINITE;
  const uint32_t limit = std::min(static_cast<uint32_t>(count), array.size);
  for (uint32_t index = 0; index < limit; ++index) {
    const CborView entry = array.ElementAt(static_cast<int32_t>(index));
    if (indefinite && entry.IsEmpty()) break;
    visit(entry);
  }
}

// Each entry's text followed by two spaces; an entry that is not a text
// string gives only its two spaces.
std::string TextEntries(const CborView& array) {
  std::string text;
  ForEachEntry(array, [&text](const CborView& entry) {
    std::string entryText;
    ReadText(entry, entryText);
    text += entryText;
    text += "  ";
  });
  return text;
}

std::string UnsignedEntries(const CborView& array) {
  std::string text;
  ForEachEntry(array, [&text](const CborView& entry) {
    uint32_t value = 0;
    if (!ReadUnsigned(entry, value)) return;
    text += Decimal(value);
    text += "  ";
  });
  return text;
}

// "alg=-7  type=public-key  " per entry; "type=" comes also without a type.
std::string AlgorithmEntries(const CborView& array) {
  std::string text;
  ForEachEntry(array, [&text](const CborView& entry) {
    const CborHead alg = entry.FindTextKey("alg").Head();
    if (alg.major == CBOR_MAJOR_NEGATIVE) {
      // -1 - argument in 32-bit two's complement.
      text += "alg=";
      text += Decimal(~alg.argument);
      text += "  ";
    }
    std::string type;
    ReadText(entry.FindTextKey("type"), type);
    text += "type=";
    text += type;
    text += "  ";
  });
  return text;
}

void AddRow(ReportList& list, const std::string& value) { list.AppendRow(kCaption, value); }

void AddListRow(ReportList& list, const char* prefix, const std::string& entries) {
  if (!entries.empty()) AddRow(list, prefix + entries);
}

void AddUnsignedRow(ReportList& list, const CborView& value, const char* prefix) {
  uint32_t number = 0;
  if (ReadUnsigned(value, number)) AddRow(list, prefix + Decimal(number) + "  ");
}

void ShowAaguid(QuillmarkModel& model, const CborView& value) {
  char hex[kAaguidTextCapacity];
  std::memset(hex, 0, sizeof hex);
  size_t hexLength = 0;
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  // A byte string too long for the buffer gives the empty text.
  if (ReadBytes(value, bytes, length)) hexLength = HexEncode(hex, sizeof hex, bytes, length);
  model.aaguidText.assign(hex, hexLength);

  std::string lower(hex, hexLength);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!lower.empty()) AddRow(model.infoList, "aaguid: " + lower);
}

void ShowOptions(ReportList& list, const CborView& options) {
  const std::string text = OptionsText(options);
  if (text.empty()) return;
  for (const std::string& row : WrapOptionsText("options: " + text)) AddRow(list, row);
}

void ShowForcePinChange(ReportList& list, const CborView& value) {
  // Only the additional information is examined: an unsigned 21 reads true.
  const uint8_t simple = value.GetSimple();
  if (simple == CBOR_SIMPLE_TRUE) AddRow(list, "forcePINChange: true  ");
  if (simple == CBOR_SIMPLE_FALSE) AddRow(list, "forcePINChange: false  ");
}

void ShowCertifications(ReportList& list, const CborView& certifications) {
  struct Certification {
    const char* name;
    const char* prefix;
  };
  static const Certification kCertifications[] = {
      {"FIDO", "certifications: FIDO = "},
      {"FIPS-CMVP-2", "certifications: FIPS-CMVP-2 = "},
      {"FIPS-CMVP-3", "certifications: FIPS-CMVP-3 = "},
      {"FIPS-CMVP-2-PHY", "certifications: FIPS-CMVP-2-PHY = "},
      {"FIPS-CMVP-3-PHY", "certifications: FIPS-CMVP-3-PHY = "},
      {"CC-EAL", "certifications: CC-EAL = "},
  };
  for (const Certification& certification : kCertifications) {
    const CborView level = certifications.FindTextKey(
        certification.name, static_cast<uint32_t>(std::strlen(certification.name)));
    AddUnsignedRow(list, level, certification.prefix);
  }
}

}  // namespace

void ShowGetInfo(QuillmarkModel& model, const CborView& view) {
  ReportList& list = model.infoList;
  // Kept for the pages that compare the answer with what others declare.
  if (!view.IsEmpty()) {
    model.getInfoAnswer.assign(view.data, view.data + std::min(view.ItemLength(), view.size));
  }

  list.AppendRow(kFirstCaption, "versions: " + TextEntries(view.FindIntKey(0x01)));
  AddListRow(list, "extensions: ", TextEntries(view.FindIntKey(0x02)));
  ShowAaguid(model, view.FindIntKey(0x03));
  ShowOptions(list, view.FindIntKey(0x04));

  uint32_t maxMsgSize = 0;
  if (ReadUnsigned(view.FindIntKey(0x05), maxMsgSize)) {
    AddRow(list, "maxMsgSize: " + Decimal(maxMsgSize));
  }
  AddListRow(list, "pinUvAuthProtocols: ", UnsignedEntries(view.FindIntKey(0x06)));
  AddUnsignedRow(list, view.FindIntKey(0x07), "maxCredentialCountInList: ");
  AddUnsignedRow(list, view.FindIntKey(0x08), "maxCredentialIdLength: ");
  AddListRow(list, "transports: ", TextEntries(view.FindIntKey(0x09)));
  AddListRow(list, "algorithms: ", AlgorithmEntries(view.FindIntKey(0x0A)));
  AddUnsignedRow(list, view.FindIntKey(0x0B), "maxSerializedLargeBlobArray: ");
  ShowForcePinChange(list, view.FindIntKey(0x0C));
  AddUnsignedRow(list, view.FindIntKey(0x0D), "minPINLength: ");
  AddUnsignedRow(list, view.FindIntKey(0x0E), "firmwareVersion: ");
  AddUnsignedRow(list, view.FindIntKey(0x0F), "maxCredBlobLength: ");
  AddUnsignedRow(list, view.FindIntKey(0x10), "maxRPIDsForSetMinPINLength: ");
  AddUnsignedRow(list, view.FindIntKey(0x11), "preferredPlatformUvAttempts: ");
  AddUnsignedRow(list, view.FindIntKey(0x12), "uvModality: ");
  ShowCertifications(list, view.FindIntKey(0x13));
  AddUnsignedRow(list, view.FindIntKey(0x14), "remainingDiscoverableCredentials: ");
  // An array here (the command list itself) gives no row.
  AddUnsignedRow(list, view.FindIntKey(0x15), "vendorPrototypeConfigCommands: ");
}
