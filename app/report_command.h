#pragma once

#include <iosfwd>

#include "app/command_line.h"

// Runs the refresh that the window runs at start and prints the lists.
// Answers the exit status.
int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::ostream& out,
                     std::ostream& err);
