// Writing simulated key profiles, such as the record of a real key's answers.
#pragma once

#include <string>
#include <vector>

#include "simkey/sim_config.h"

// The profile of `devices` in the form LoadSimProfile reads, which reads it
// back to the same configurations: a "comment" (left out when empty), then
// per device the identity fields, the fields that differ from the default
// key, and the "apdu" and "cbor" rules in order ("cbor" holds cborRules, then
// the `cbor` shorthand's entries). A rule with one answer gets a string, one
// with several an array; a rule without answers is written as the empty reply
// it gives. A rule whose key an earlier rule already has is left out: it
// could never answer.
//
// Text that is not UTF-8 (a product string as a key reported it) has each bad
// byte replaced by U+FFFD, so such a name reads back changed. Values outside
// what the loader accepts (a pinTokenLength of 24, say) are written as they
// are, and loading the profile then fails on them. Answers an empty string
// only when memory runs out. Never throws.
std::string SimProfileJson(const std::vector<SimDeviceConfig>& devices, const std::string& comment);
