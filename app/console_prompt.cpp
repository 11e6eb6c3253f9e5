#include "app/console_prompt.h"

#include <istream>
#include <ostream>
#include <string>

void ConsolePrompt::Message(const std::string& text, PromptIcon icon, bool) {
  err_ << (icon == PromptIcon::kError ? "error: " : "warning: ") << text << "\n";
}

bool ConsolePrompt::Confirm(const std::string&) { return true; }

bool ConsolePrompt::AskPin(std::string* pin) {
  pin->clear();
  if (!pinFromInput_) {
    err_ << "error: the key has a PIN; give it on standard input with --pin-stdin\n";
    return false;
  }
  std::getline(in_, *pin);
  if (!pin->empty() && pin->back() == '\r') pin->pop_back();
  return true;
}
