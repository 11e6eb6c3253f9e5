// The "card" object of a device in a profile (simkey/sim_profile.h):
//
//   "card": { "atr": "3B8F8001804F0CA0000003060300030000000068", "shortApdusOnly": false,
//             "keepAlives": 0, "u2fOnly": false }
//
// "atr" is 2 to 33 bytes in hex; "keepAlives" at most 1000.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "simkey/sim_card_options.h"

// False with `problem` ("keepAlives: expected a number") for a value of the
// wrong type or range and for an unknown field.
bool ReadSimCardOptions(const nlohmann::ordered_json& value, SimCardOptions& out,
                        std::string& problem);
