// Reading what a key stores for the page "Passkeys": the token from the PIN
// (or the key's own user verification first), then the reading with it.
#pragma once

#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"

extern const char* const PASSKEYS_UV_TEXT;

// Reads with what the model's GetInfo answer says the key offers, asking the
// PIN through `prompt`, and writes the page's rows or its one sentence.
void ReadPasskeys(QuillmarkModel& model, UserPrompt& prompt);

// The Tips row, or any row after a failure (the page then ends with Tips),
// starts a reading; -1 and every other row do nothing.
void OnDblClkPasskeysList(QuillmarkModel& model, int row, UserPrompt& prompt);
