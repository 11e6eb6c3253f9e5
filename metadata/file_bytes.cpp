#include "metadata/file_bytes.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool ReadFileBytes(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out,
                   std::string& error) {
  out.clear();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "The file " + path + " cannot be opened: " + std::strerror(errno) + ".";
    return false;
  }
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
    std::fclose(file);
    error = "The file " + path + " is not a regular file.";
    return false;
  }
  if (static_cast<uint64_t>(status.st_size) > maxBytes) {
    std::fclose(file);
    error = "The file " + path + " is too large (" + std::to_string(status.st_size) +
            " bytes; at most " + std::to_string(maxBytes) + " are read).";
    return false;
  }
  out.resize(static_cast<size_t>(status.st_size));
  const size_t read = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), file);
  // A file that grew meanwhile is read up to its size at the check.
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  out.resize(read);
  if (failed) {
    error = "The file " + path + " cannot be read.";
    out.clear();
    return false;
  }
  return true;
}
