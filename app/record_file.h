// Writing a file that must never be seen half-written: the bytes go to a new
// file beside the target, which then takes the target's name in one step.
#pragma once

#include <string>

// Why a new file cannot be written at `path` now ("cannot write PATH: ..."),
// or empty: a folder is named, the folder is missing or not writable, or the
// file exists and may not be replaced. Lets a program refuse before it does
// work whose result would have nowhere to go.
std::string FileTargetProblem(const std::string& path, bool replace);

// Writes `contents` to `path` whole or not at all. An existing `path` is
// replaced only when `replace` is true; a directory never is. False, with why
// in `reason` ("it is a folder", a system error's text), when nothing was
// written; no new file is left behind then. A replaced file's permission bits
// carry over; a new file gets those the umask gives. The folder is synced
// after the rename.
bool WriteFileAtomically(const std::string& path, const std::string& contents, bool replace,
                         std::string* reason);

// "cannot write PATH: REASON".
std::string CannotWriteText(const std::string& path, const std::string& reason);
