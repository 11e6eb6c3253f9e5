#include "keyinfo/details_page.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cbor/cbor_diagnostic.h"
#include "cbor/cbor_tree.h"
#include "keyinfo/getinfo_members.h"
#include "keyinfo/hex_encode.h"

namespace {

std::string CapabilitiesText(uint8_t flags) {
  static const struct {
    uint8_t flag;
    const char* name;
  } kNames[] = {
      {CTAPHID_CAPABILITY_WINK, "WINK"},
      {CTAPHID_CAPABILITY_CBOR, "CBOR"},
      {CTAPHID_CAPABILITY_NMSG, "NMSG"},
  };
  std::string text;
  for (int bit = 0; bit < 8; ++bit) {
    const uint8_t flag = static_cast<uint8_t>(1u << bit);
    if ((flags & flag) == 0) continue;
    std::string name;
    for (const auto& known : kNames) {
      if (known.flag == flag) name = known.name;
    }
    if (name.empty()) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", flag);
      name = hex;
    }
    text += (text.empty() ? "" : ", ") + name;
  }
  return text.empty() ? "none" : text;
}

std::string AnswerHex(const uint8_t* bytes, size_t length) {
  const size_t shown = DETAILS_ANSWER_LIMIT / 2;
  return LowerHex(bytes, length, shown) + (length > shown ? "..." : "");
}

void AddMembers(ReportList& list, const uint8_t* answer, size_t length) {
  CborNode map;
  if (CborDecode(answer, length, map).status != CborDecodeStatus::kOk || !map.IsMap()) return;
  for (size_t i = 0; i + 1 < map.children.size(); i += 2) {
    const CborNode& key = map.children[i];
    const CborNode& value = map.children[i + 1];
    if (key.IsUnsigned()) {
      list.AppendRow(GetInfoMemberName(key.argument), GetInfoMemberValue(key.argument, value));
    } else {
      // Keys are short in any answer a key means; a long one is cut like a value.
      list.AppendRow(CborNodeDiagnostic(key, DETAILS_VALUE_LIMIT),
                     CborNodeDiagnostic(value, DETAILS_VALUE_LIMIT));
    }
  }
}

}  // namespace

ReportList& DetailsList(QuillmarkModel& model) { return *model.FindPage(DETAILS_PAGE_CAPTION); }

void ClearDetailsPage(QuillmarkModel& model) { DetailsList(model).Clear(); }

void ShowDetailsPage(QuillmarkModel& model, const DetailsFacts& facts) {
  ReportList& list = DetailsList(model);
  list.Clear();
  if (facts.card != nullptr) {
    list.AppendRow("ATR", UpperHex(facts.card->atr));
    list.AppendRow("Protocol", CardProtocolText(facts.card->protocol));
    list.AppendRow("Extended APDUs", facts.card->extended ? "yes" : "no");
  } else if (facts.init.known) {
    list.AppendRow("CTAPHID protocol", std::to_string(facts.init.protocolVersion));
    list.AppendRow("Device version", std::to_string(facts.init.majorVersion) + "." +
                                         std::to_string(facts.init.minorVersion) + "." +
                                         std::to_string(facts.init.buildVersion));
    list.AppendRow("Capabilities", CapabilitiesText(facts.init.capabilities));
  }
  const bool answered = facts.getInfo != nullptr && facts.getInfoLength > 0;
  if (answered) AddMembers(list, facts.getInfo, facts.getInfoLength);
  if (facts.retries.pinKnown) {
    list.AppendRow("PIN retries", std::to_string(facts.retries.pin));
    if (facts.retries.powerCycleNeeded) list.AppendRow("Power cycle needed", "true");
  }
  if (facts.retries.uvKnown) list.AppendRow("UV retries", std::to_string(facts.retries.uv));
  if (!answered) return;
  list.AppendRow("GetInfo (hex)", AnswerHex(facts.getInfo, facts.getInfoLength));
  CborDiagnosticLimits limits;
  limits.maxLength = DETAILS_ANSWER_LIMIT;
  const CborDiagnosticResult notation =
      CborSequenceDiagnostic(facts.getInfo, facts.getInfoLength, limits);
  // An answer that is not well-formed CBOR has no notation; its hex says all.
  if (notation.status == CborDecodeStatus::kOk) {
    list.AppendRow("GetInfo (diagnostic)", notation.text);
  }
}
