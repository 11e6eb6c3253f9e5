// A prompt that asks the PIN once and gives the same answer to every later
// request of the same check: the fetch and the passkey reading both need it,
// and standard input holds it only once.
#pragma once

#include <string>

#include "attestation/user_prompt.h"

class PinOncePrompt final : public UserPrompt {
 public:
  explicit PinOncePrompt(UserPrompt& inner) : inner_(inner) {}

  void Message(const std::string& text, PromptIcon icon, bool owned) override {
    inner_.Message(text, icon, owned);
  }
  bool Confirm(const std::string& text) override { return inner_.Confirm(text); }
  bool AskPin(std::string* pin) override {
    if (!asked_) {
      given_ = inner_.AskPin(&pin_);
      asked_ = true;
    }
    *pin = given_ ? pin_ : std::string();
    return given_;
  }

 private:
  UserPrompt& inner_;
  bool asked_ = false;
  bool given_ = false;
  std::string pin_;
};
