// Which options go with --policy, --watch, --inventory and --summary.
#pragma once

#include <string>

struct CommandLine;

// Why the acceptance options of `line` do not go together, or empty.
std::string StationArgumentsProblem(const CommandLine& line);
