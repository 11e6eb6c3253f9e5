// Opens a file in the viewer the desktop has for it, or a web address in the
// default browser. The window implements it with the desktop services; tests
// record the requests.
#pragma once

#include <string>

class Opener {
 public:
  virtual ~Opener() = default;
  virtual void OpenFile(const std::string& path) = 0;
  virtual void OpenUrl(const std::string& url) = 0;
};
