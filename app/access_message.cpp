#include "app/access_message.h"

const char* const KEY_ACCESS_ADVICE_TEXT =
    "install a udev rule that tags FIDO hidraw nodes with TAG+=\"uaccess\" "
    "(see \"Access to keys\" in the README), then plug the key in again";

namespace {

std::string JoinPaths(const std::vector<std::string>& paths) {
  std::string joined;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) joined += ", ";
    joined += paths[i];
  }
  return joined;
}

}  // namespace

std::string AccessProblemMessage(const std::vector<std::string>& deniedPaths) {
  if (deniedPaths.empty()) return std::string();
  return "Cannot open " + JoinPaths(deniedPaths) +
         " (permission denied): " + KEY_ACCESS_ADVICE_TEXT + ".";
}

std::string NoKeyMessage(const std::vector<std::string>& deniedPaths) {
  if (!deniedPaths.empty()) return "No key shown. " + AccessProblemMessage(deniedPaths);
  return std::string(
             "No FIDO security key found. If one is plugged in, your user may lack "
             "access to its /dev/hidraw node: ") +
         KEY_ACCESS_ADVICE_TEXT + ".";
}
