// The page "Passkeys": what a key stores, written from a reading, or the one
// sentence that says why there is none.
#pragma once

#include <string>

#include "credentials/stored_reading.h"
#include "keyinfo/quillmark_model.h"

inline constexpr char PASSKEYS_PAGE_CAPTION[] = "Passkeys";
inline constexpr char PASSKEYS_TIPS_TEXT[] =
    "Double click to read the passkeys with the key's PIN.";
inline constexpr char PASSKEYS_NO_PIN_TEXT[] =
    "This key has no PIN. Its passkeys are listed with its PIN; set one with the key's own tool.";
inline constexpr char PASSKEYS_CANNOT_LIST_TEXT[] = "This key cannot list its passkeys.";
// The first row of a reading: "N stored, M more fit".
inline constexpr char PASSKEYS_DISCOVERABLE_ITEM[] = "Discoverable credentials";

ReportList& PasskeysList(QuillmarkModel& model);

// The refresh's state of the page: emptied, then the Tips row when the key
// answered GetInfo.
void ResetPasskeysPage(QuillmarkModel& model);
// One sentence in place of rows, with the Tips row after it to retry.
void ShowPasskeysSentence(QuillmarkModel& model, const std::string& text);
// The rows of a reading, in the page's order; a reading stopped short ends
// with the row that says so.
void WritePasskeysRows(ReportList& list, const StoredReading& reading);
