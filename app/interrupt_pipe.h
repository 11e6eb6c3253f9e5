// Ctrl+C as an event: SIGINT and SIGTERM write one byte to a pipe that an
// event loop watches, so that the loop ends between two checks, never inside
// one.
#pragma once

class InterruptPipe {
 public:
  // Opens the pipe and installs the handlers; false when either fails.
  bool Open();
  // Restores the handlers that were there and closes the pipe.
  ~InterruptPipe();

  int readFd() const { return fds_[0]; }
  // What the handler does (async-signal-safe); tests raise it themselves.
  static void Raise();

 private:
  int fds_[2] = {-1, -1};
  bool installed_ = false;
};
