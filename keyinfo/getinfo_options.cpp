#include "keyinfo/getinfo_options.h"

#include <string_view>

#include "cbor/cbor_head.h"
#include "keyinfo/getinfo_display.h"
#include "keyinfo/quillmark_model.h"

const char* const OPTIONS_CONTINUATION_INDENT = "             ";

const std::string_view GETINFO_OPTION_NAMES[18] = {
    "rk",
    "up",
    "uv",
    "plat",
    "uvAcfg",
    "alwaysUv",
    "credMgmt",
    "authnrCfg",
    "bioEnroll",
    "clientPin",
    "largeBlobs",
    "uvBioEnroll",
    "pinUvAuthToken",
    "setMinPINLength",
    "makeCredUvNotRqd",
    "credentialMgmtPreview",
    "userVerificationMgmtPreview",
    "noMcGaPermissionsWithClientPin",
};

std::string OptionsText(const CborView& options) {
  std::string text;
  for (std::string_view name : GETINFO_OPTION_NAMES) {
    const CborView value = options.FindTextKey(name.data(), static_cast<uint32_t>(name.size()));
    // Only the additional information of the value's head is looked at.
    const uint8_t simple = value.GetSimple();
    if (simple != CBOR_SIMPLE_TRUE && simple != CBOR_SIMPLE_FALSE) continue;
    const bool enabled = simple == CBOR_SIMPLE_TRUE;
    text += name;
    text += enabled ? "=true  " : "=false  ";
    if (name == "clientPin") keyHasPin = enabled;
  }
  return text;
}

std::vector<std::string> WrapOptionsText(const std::string& text) {
  // Tokens between spaces; neighbouring spaces give empty tokens, and the
  // last token is what follows the final space (empty for "... ").
  std::vector<std::string_view> tokens;
  const std::string_view all(text);
  size_t start = 0;
  for (size_t at = all.find(' '); at != std::string_view::npos; at = all.find(' ', start)) {
    tokens.push_back(all.substr(start, at - start));
    start = at + 1;
  }
  tokens.push_back(all.substr(start));

  std::vector<std::string> rows;
  std::string row;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    // The separating space is not counted, so a row reaches at most the
    // limit before the closing space.
    if (row.size() + tokens[i].size() >= OPTIONS_ROW_LIMIT) {
      rows.push_back(row);
      row = OPTIONS_CONTINUATION_INDENT;
    }
    if (i != 0) row += ' ';
    row += tokens[i];
  }
  row += ' ';
  row += tokens.back();
  rows.push_back(row);
  return rows;
}
