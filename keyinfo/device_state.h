// The refresh: reads everything the window shows about the attached key and
// rebuilds the lists from nothing.
#pragma once

#include <string>

#include "keyinfo/quillmark_model.h"

// What the window's status line and the report say when a refresh met a USB
// key that sent nothing back in time, or whose link failed.
extern const char* const KEY_DID_NOT_ANSWER_TEXT;
extern const char* const KEY_REMOVED_TEXT;
// The same for a network authenticator whose connection failed.
extern const char* const KEY_CONNECTION_LOST_TEXT;
extern const char* const KEY_CARD_UNKNOWN_TEXT;
extern const char* const KEY_CARD_REMOVED_TEXT;

// Why the last refresh of `model` gave up on its key, in one sentence for the
// kind of key it was (a network authenticator is named by its address), or
// empty when it did not.
std::string KeyStoppedText(const QuillmarkModel& model);

// `vidText` and `pidText` hold the hex digits of the ids to select, or are
// empty to take the first FIDO interface found. A key that lets one exchange
// time out, or whose link fails, is sent nothing more in this refresh: its
// rows end where they stand and `model.keyDidNotAnswer` says so.
void GetDeviceState(QuillmarkModel& model, const std::string& vidText, const std::string& pidText);
// The same refresh of the kept FIDO interface at `path` (one of two keys with
// the same ids, say); when no such interface is attached any more, the lists
// stay empty.
void GetDeviceStateOfPath(QuillmarkModel& model, const std::string& path);
