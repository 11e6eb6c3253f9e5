#include "app/terminal_pin.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

bool ReadPinFromTerminal(std::string* pin) {
  pin->clear();
  // Reserved up front, so that no copy of the PIN is left behind by a growing
  // string.
  constexpr size_t kLongest = 255;
  pin->reserve(kLongest);
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios saved{};
  const bool isTerminal = tcgetattr(fd, &saved) == 0;
  if (isTerminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  static const char kPrompt[] = "PIN: ";
  bool ok = isTerminal && write(fd, kPrompt, sizeof kPrompt - 1) == sizeof kPrompt - 1;
  char c = 0;
  while (ok && read(fd, &c, 1) == 1 && c != '\n') {
    if (c != '\r' && pin->size() < kLongest) pin->push_back(c);
  }
  c = 0;
  if (isTerminal) tcsetattr(fd, TCSAFLUSH, &saved);
  close(fd);
  return ok;
}
