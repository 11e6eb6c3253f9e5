// The metadata explorer link of the "Hardware info" list: a double click on
// the aaguid row opens a public page that looks the key's model up in the
// FIDO Metadata Service.
#pragma once

#include <string>

#include "keyinfo/opener.h"
#include "keyinfo/report_list.h"

// The address, its terminating zero included, must fit this many bytes.
constexpr size_t METADATA_ADDRESS_CAPACITY = 256;

extern const char* const METADATA_EXPLORER_HOST;  // "https://..."

// The explorer address for the value text of an info-list row, on `host`.
// False when the text is not the aaguid row ("aaguid: <32 hex digits>",
// case-sensitive) or the address would not fit.
bool MetadataExplorerAddress(const std::string& host, const std::string& valueText,
                             std::string* address);

// A double click on `row` of the "Hardware info" list; -1 (or any row past
// the end) is empty space. Only the aaguid row opens anything.
void OnDblClkInfoList(const ReportList& list, int row, Opener& opener);
