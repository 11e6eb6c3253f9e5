#include "app/interrupt_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

// The write end, for the handler; one pipe at a time.
volatile sig_atomic_t writeFd = -1;
struct sigaction previousInt;
struct sigaction previousTerm;

void OnSignal(int) { InterruptPipe::Raise(); }

}  // namespace

void InterruptPipe::Raise() {
  const int fd = writeFd;
  if (fd < 0) return;
  const char byte = 1;
  // A full pipe already holds an interrupt.
  [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
}

bool InterruptPipe::Open() {
  if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  writeFd = fds_[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = sigaction(SIGINT, &action, &previousInt) == 0;
  if (installed_ && sigaction(SIGTERM, &action, &previousTerm) != 0) {
    sigaction(SIGINT, &previousInt, nullptr);
    installed_ = false;
  }
  return installed_;
}

InterruptPipe::~InterruptPipe() {
  if (installed_) {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
  }
  writeFd = -1;
  for (int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}
