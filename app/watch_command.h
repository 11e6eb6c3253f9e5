// --watch: the acceptance station on the command line, following the
// window's device events until Ctrl+C.
#pragma once

#include <functional>
#include <iosfwd>

#include "app/command_line.h"
#include "metadata/utc_date.h"

class CardPlatform;
class DeviceEventSource;

struct WatchServices {
  DeviceEventSource* events = nullptr;  // null: the udev monitor, and pcscd's card events
  // Cards on readers are checked as keys: null takes pcsc-lite's, unless the
  // keys are simulated or a test put in a HID platform of its own.
  CardPlatform* cards = nullptr;
  const WallClock* clock = nullptr;  // null: the system's
  // Runs once the loop waits for keys (tests plug keys in from here).
  std::function<void()> started;
};

// Needs a QCoreApplication. Prints one line per key checked on `out`, then
// the summary line once interrupted; answers WatchStation's exit status, or
// EXIT_BAD_ARGUMENTS / EXIT_NO_KEY when it cannot start.
int RunWatchCommand(const CommandLine& line, std::istream& in, std::ostream& out, std::ostream& err,
                    const WatchServices& services = WatchServices());
