// A refreshed key checked against a policy: the fetch, the passkey reading
// and the metadata page that the rules need, the check, the "Policy" page,
// and the check's line in the inventory.
#pragma once

#include <cstdint>
#include <string>

#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"
#include "policy/policy_check.h"
#include "policy/policy_facts.h"
#include "transport/key_clock.h"

struct KeyCheck {
  PolicyFacts facts;
  PolicyResult result;
};

// `model` holds a refresh of the selected key. Nothing is written to the key
// beyond the fetch's test credential; the prompt is asked the PIN at most
// once. The "Metadata" page is filled whatever the rules.
KeyCheck CheckRefreshedKey(QuillmarkModel& model, const Policy& policy, const MdsBlob& blob,
                           int64_t nowUnixSeconds, UserPrompt& prompt, KeyClock& pollClock);

// Appends the check of the selected key to `inventory`. Empty on success,
// else one sentence.
std::string AppendKeyCheck(const std::string& inventory, const KeyCheck& check,
                           int64_t nowUnixSeconds);

// How the key appears in lines and messages: "PATH, PRODUCT, AAGUID X".
std::string CheckedKeyIdentity(const KeyCheck& check);
