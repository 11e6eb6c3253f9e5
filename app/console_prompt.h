// The user prompt of the headless report: the confirmation is answered yes,
// messages go to stderr as "error: TEXT" or "warning: TEXT", and the PIN is
// read from standard input when that was asked for, else from the terminal
// when there is one.
#pragma once

#include <iosfwd>
#include <string>

#include "attestation/user_prompt.h"

// Reads a PIN from the user's terminal; false when there is none.
using TerminalPinReader = bool (*)(std::string* pin);

// Whether a prompt's message says that the key refused the PIN (invalid,
// blocked, or its pinAuth refused), so that the PIN is not offered again.
bool TellsPinRefused(const std::string& message);

class ConsolePrompt final : public UserPrompt {
 public:
  // `terminal` null: no terminal is asked.
  ConsolePrompt(std::istream& in, std::ostream& err, bool pinFromInput,
                TerminalPinReader terminal = nullptr)
      : in_(in), err_(err), pinFromInput_(pinFromInput), terminal_(terminal) {}
  // The PIN goes with the prompt.
  ~ConsolePrompt() override;
  ConsolePrompt(const ConsolePrompt&) = delete;
  ConsolePrompt& operator=(const ConsolePrompt&) = delete;

  void Message(const std::string& text, PromptIcon icon, bool owned) override;
  bool Confirm(const std::string& text) override;
  // One PIN serves every reading of the run: it is read once and given again,
  // until the key refuses it.
  bool AskPin(std::string* pin) override;

 private:
  void ForgetPin();

  std::istream& in_;
  std::ostream& err_;
  bool pinFromInput_;
  TerminalPinReader terminal_;
  std::string pin_;
  bool pinKnown_ = false;
};
