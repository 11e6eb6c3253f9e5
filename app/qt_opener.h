// Opens certificate files and web addresses with the desktop's handlers
// (xdg-open on Linux).
#pragma once

#include "keyinfo/opener.h"

class QtOpener final : public Opener {
 public:
  void OpenFile(const std::string& path) override;
  void OpenUrl(const std::string& url) override;
};
