#pragma once

#include <cstdint>
#include <string>

// A CTAP status byte (0..0xFF) or an ISO 7816 status word (above 0xFF) as the
// English sentence the user sees; "Unknown Error" for anything not listed.
std::string CtapStatusText(int32_t code);

// "TEXT (status 0xNN)", the text without its full stop: the byte tells a
// status that the table does not know apart from any other.
std::string CtapStatusWithCode(int32_t code);
