// The PIN typed on the controlling terminal, for a report run without
// --pin-stdin: standard input may be a pipe, the terminal is the user.
#pragma once

#include <string>

// Writes "PIN: " to /dev/tty and reads one line from it with echo off.
// Answers false when the process has no controlling terminal.
bool ReadPinFromTerminal(std::string* pin);
