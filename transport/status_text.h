#pragma once

#include <cstdint>
#include <string>

// A CTAP status byte (0..0xFF) or an ISO 7816 status word (above 0xFF) as the
// English sentence the user sees; "Unknown Error" for anything not listed.
std::string CtapStatusText(int32_t code);
