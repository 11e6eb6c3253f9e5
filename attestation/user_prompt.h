// How the attestation path talks to the user: message boxes with the
// program's name as caption, the confirmation before a fetch, and the PIN
// entry. The window implements it with dialogs; tests and the headless report
// answer it in memory.
#pragma once

#include <string>

enum class PromptIcon { kWarning, kError, kInformation };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  // A message box with one OK button. `owned`: owned by the main window (the
  // empty-PIN message is not).
  virtual void Message(const std::string& text, PromptIcon icon, bool owned) = 0;
  // OK and Cancel, warning icon; true for OK.
  virtual bool Confirm(const std::string& text) = 0;
  // The PIN dialog: true when it closed with OK, `pin` then holding the text
  // as typed (possibly empty); false for Cancel, `pin` then empty.
  virtual bool AskPin(std::string* pin) = 0;
};
