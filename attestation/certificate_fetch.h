// The certificate fetches of the two certification tabs: a test credential
// (CTAP2 makeCredential) or a U2F registration over a fresh challenge, and its
// attestation certificates shown as rows.
#pragma once

#include <cstdint>

#include "attestation/fresh_challenge.h"
#include "attestation/user_prompt.h"
#include "keyinfo/opener.h"
#include "keyinfo/quillmark_model.h"
#include "transport/key_clock.h"

extern const uint8_t TestUserId[32];
extern const char TestUserName[18];  // 17 characters
extern const uint8_t U2fApplicationParameter[32];

extern const char* const FETCH_CONFIRM_TEXT;

// The makeCredential request (command byte included) into `request`, which
// holds CTAP_REQUEST_BUFFER_SIZE bytes, over the 32 bytes of `clientDataHash`;
// `pinAuth` null for a key without a PIN. Answers the request length: 171
// without, 191 with a PIN.
uint32_t BuildMakeCredentialRequest(uint8_t* request, const uint8_t* clientDataHash,
                                    const uint8_t* pinAuth);

void FetchFido2Certificates(QuillmarkModel& model, UserPrompt& prompt);
// `clock` paces the poll for the user's touch (at most 10 s).
void FetchU2fCertificate(QuillmarkModel& model, UserPrompt& prompt, KeyClock& clock);

// Double-click on a row of a certification list (-1: no row was hit).
void OnDblClkFido2List(QuillmarkModel& model, int row, UserPrompt& prompt, Opener& opener);
void OnDblClkU2fList(QuillmarkModel& model, int row, UserPrompt& prompt, Opener& opener,
                     KeyClock& clock);
