// Reading a whole file with an upper bound on its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// False, with one sentence in `error`, when the file cannot be opened or
// read, or holds more than `maxBytes` (which is refused before reading).
bool ReadFileBytes(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out,
                   std::string& error);
