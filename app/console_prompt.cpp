#include "app/console_prompt.h"

#include <istream>
#include <ostream>

#include "attestation/pin_protocol.h"
#include "transport/status_text.h"

ConsolePrompt::~ConsolePrompt() { ForgetPin(); }

void ConsolePrompt::ForgetPin() {
  WipeText(pin_);
  pin_.clear();
  pinKnown_ = false;
}

bool TellsPinRefused(const std::string& message) {
  for (const int32_t status : {0x31, 0x32, 0x33, 0x34}) {
    if (message.rfind(CtapStatusText(status), 0) == 0) return true;
  }
  return false;
}

void ConsolePrompt::Message(const std::string& text, PromptIcon icon, bool) {
  err_ << (icon == PromptIcon::kError ? "error: " : "warning: ") << text << "\n";
  // A refused PIN is not offered again: each try costs one of its retries.
  if (TellsPinRefused(text)) ForgetPin();
}

bool ConsolePrompt::Confirm(const std::string&) { return true; }

bool ConsolePrompt::AskPin(std::string* pin) {
  pin->clear();
  if (!pinKnown_) {
    if (pinFromInput_) {
      std::getline(in_, pin_);
      if (!pin_.empty() && pin_.back() == '\r') pin_.pop_back();
    } else if (terminal_ == nullptr || !terminal_(&pin_)) {
      err_ << "error: the key has a PIN; give it on standard input with --pin-stdin\n";
      return false;
    }
    pinKnown_ = true;
  }
  *pin = pin_;
  return true;
}
