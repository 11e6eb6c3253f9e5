#pragma once

#include <iosfwd>

#include "app/command_line.h"
#include "metadata/utc_date.h"

// Runs the refresh that the window runs at start, then the certificate fetch
// when one is asked for, and prints the lists. `in` gives the PIN for
// --pin-stdin. Answers the exit status. `clock` judges the metadata file
// (null: the system's clock).
int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::istream& in,
                     std::ostream& out, std::ostream& err, const WallClock* clock = nullptr);
