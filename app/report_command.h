#pragma once

#include <iosfwd>

#include "app/command_line.h"
#include "app/console_prompt.h"
#include "metadata/utc_date.h"

// Runs the refresh that the window runs at start, then the certificate fetch
// and the passkeys' reading when they are asked for, and prints the lists.
// `in` gives the PIN for --pin-stdin, else `terminal` (null: none). Answers
// the exit status. `clock` judges the metadata file (null: the system's clock).
int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::istream& in,
                     std::ostream& out, std::ostream& err, const WallClock* clock = nullptr,
                     TerminalPinReader terminal = nullptr);
