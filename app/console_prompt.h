// The user prompt of the headless fetch: the confirmation is answered yes,
// messages go to stderr as "error: TEXT" or "warning: TEXT", and the PIN is
// read from standard input when that was asked for.
#pragma once

#include <iosfwd>

#include "attestation/user_prompt.h"

class ConsolePrompt final : public UserPrompt {
 public:
  ConsolePrompt(std::istream& in, std::ostream& err, bool pinFromInput)
      : in_(in), err_(err), pinFromInput_(pinFromInput) {}

  void Message(const std::string& text, PromptIcon icon, bool owned) override;
  bool Confirm(const std::string& text) override;
  bool AskPin(std::string* pin) override;

 private:
  std::istream& in_;
  std::ostream& err_;
  bool pinFromInput_;
};
