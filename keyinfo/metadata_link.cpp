#include "keyinfo/metadata_link.h"

#include <string_view>
#include <vector>

const char* const METADATA_EXPLORER_HOST = "https://passkeydeveloper.github.io";

namespace {

constexpr std::string_view kAaguidPrefix = "aaguid";
constexpr char kExplorerPath[] = "/fido-mds-explorer/";
constexpr char kQueryKey[] = "?aaguid=";

// Byte offsets at which each character of UTF-8 `text` starts, plus its end,
// so that groups are cut by character and never inside one.
std::vector<size_t> CharacterStarts(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(text.size());
  return starts;
}

// Characters [first, first + count) of `text`, cut short at its end.
std::string Characters(const std::string& text, const std::vector<size_t>& starts, size_t first,
                       size_t count) {
  const size_t characters = starts.size() - 1;
  if (first >= characters) return std::string();
  const size_t last = first + count < characters ? first + count : characters;
  return text.substr(starts[first], starts[last] - starts[first]);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

bool MetadataExplorerAddress(const std::string& host, const std::string& valueText,
                             std::string* address) {
  const std::vector<size_t> valueStarts = CharacterStarts(valueText);
  if (Characters(valueText, valueStarts, 0, kAaguidPrefix.size()) != kAaguidPrefix) return false;

  // Past the six letters and the colon.
  const size_t characters = valueStarts.size() - 1;
  const std::string rest = characters > 7 ? valueText.substr(valueStarts[7]) : std::string();
  const std::string digits = Trim(rest);
  const std::vector<size_t> starts = CharacterStarts(digits);

  // 8-4-4-4-12, each group cut short or empty when the text ends sooner.
  static constexpr size_t kGroups[5][2] = {{0, 8}, {8, 4}, {12, 4}, {16, 4}, {20, 12}};
  std::string result = host + kExplorerPath + kQueryKey;
  for (size_t group = 0; group < 5; ++group) {
    if (group > 0) result += '-';
    result += Characters(digits, starts, kGroups[group][0], kGroups[group][1]);
  }
  if (result.size() + 1 > METADATA_ADDRESS_CAPACITY) return false;
  *address = result;
  return true;
}

void OnDblClkInfoList(const ReportList& list, int row, Opener& opener) {
  if (row < 0) return;
  const std::string value = list.Cell(static_cast<size_t>(row), 1);
  std::string address;
  if (!MetadataExplorerAddress(METADATA_EXPLORER_HOST, value, &address)) return;
  opener.OpenUrl(address);
}
