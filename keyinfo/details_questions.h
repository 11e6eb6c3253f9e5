// What the refresh asks the key for the "Details" page, after every question
// of its own: the read-only clientPIN questions getPINRetries (0x01) and
// getUVRetries (0x07), each only when the GetInfo answer says the key has a
// PIN or built-in user verification.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cbor/cbor_tree.h"
#include "keyinfo/details_page.h"
#include "keyinfo/quillmark_model.h"

// Asks the selected key what `getInfo` (the decoded answer; anything but a map
// means no questions) says it can answer.
KeyRetries AskKeyRetries(const CborNode& getInfo);

// Fills the "Details" page: the selected key's INIT facts, the GetInfo answer
// the refresh received into its buffer of `capacity` bytes (`length` bytes of
// it, or `getInfo` null when the key did not answer), and the retries
// questions.
void FillDetailsPage(QuillmarkModel& model, const uint8_t* getInfo, uint32_t length,
                     uint32_t capacity);
