// The options member of an authenticatorGetInfo answer as one text.
#pragma once

#include <string>
#include <string_view>

#include "cbor/cbor_view.h"

// The options shown, in display order; options a key reports beyond these
// are not shown.
extern const std::string_view GETINFO_OPTION_NAMES[18];

// "name=true  " or "name=false  " for each known option that the map holds as
// true or false, in the fixed display order; empty when there is none. Sets
// keyHasPin when clientPin is true or false, and leaves it alone otherwise.
std::string OptionsText(const CborView& options);
