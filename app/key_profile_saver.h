// "Save key as profile...": the record of the key the last refresh showed,
// written where the user chooses, for support staff to replay with
// `quillmark --simulate FILE`.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "attestation/user_prompt.h"
#include "metadata/utc_date.h"
#include "transport/key_exchange_log.h"

class KeyProfileFileChooser {
 public:
  virtual ~KeyProfileFileChooser() = default;
  // The file to write the profile to; false when the user cancelled. The
  // chooser has asked before naming an existing file.
  virtual bool ChooseKeyProfileFile(std::string* path) = 0;
};

class QtKeyProfileFileChooser final : public KeyProfileFileChooser {
 public:
  explicit QtKeyProfileFileChooser(QWidget* owner = nullptr) : owner_(owner) {}
  bool ChooseKeyProfileFile(std::string* path) override;

 private:
  QPointer<QWidget> owner_;
  QString lastFolder_;
};

// Asks `chooser` for the file and writes the record of `refresh` there,
// replacing a file the user chose to replace; a failure, or a refresh that
// showed no key (null), is told through `prompt`. True when a file was
// written.
bool SaveKeyProfile(const KeyExchangeLog* refresh, KeyProfileFileChooser& chooser,
                    UserPrompt& prompt, const WallClock& clock);
