// The user prompt of the window: message boxes captioned "Quillmark" and
// the PIN dialog.
#pragma once

#include <QPointer>
#include <QWidget>

#include "attestation/user_prompt.h"

extern const char* const PROMPT_CAPTION;  // "Quillmark"

class QtPrompt final : public UserPrompt {
 public:
  // `owner`: the main window, which owns the message boxes that are owned.
  explicit QtPrompt(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void Message(const std::string& text, PromptIcon icon, bool owned) override;
  bool Confirm(const std::string& text) override;
  bool AskPin(std::string* pin) override;

 private:
  QPointer<QWidget> owner_;
};
