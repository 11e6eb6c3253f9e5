// The window's metadata: the file shown on the "Metadata" page, and the two
// entries of the window's context menu, "Open metadata file..." (the choice
// is remembered in the user's settings) and "Update metadata" (a download
// into the cache with a progress dialog).
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "app/metadata_source.h"
#include "keyinfo/quillmark_model.h"

class QAction;
class QWidget;
class UserPrompt;

extern const char* const OPEN_METADATA_MENU_TEXT;    // "Open metadata file..."
extern const char* const UPDATE_METADATA_MENU_TEXT;  // "Update metadata"
// The user setting that remembers the chosen file.
extern const char* const METADATA_FILE_SETTING;  // "MetadataFile"

struct MetadataWindowServices {
  MetadataOptions options;
  // Asks for a file; empty when the user cancels. Null: a file dialog.
  std::function<std::string(QWidget* owner)> chooseFile;
  const WallClock* clock = nullptr;  // null: the system's clock
};

class MetadataActions : public QObject {
  Q_OBJECT

 public:
  // Adds the two actions to `window`; `changed` runs after each new file.
  MetadataActions(QWidget& window, UserPrompt& prompt, const MetadataWindowServices& services,
                  std::function<void()> changed);

  // Reads the file named on the command line, else the remembered one, else
  // the cached copy.
  void LoadInitialFile();
  void ShowPage(QuillmarkModel& model) const;

  void OnOpenMetadataFile();
  void OnUpdateMetadata();

  const MdsBlob& blob() const { return blob_; }
  QAction* openAction() const { return openAction_; }
  QAction* updateAction() const { return updateAction_; }

 private:
  void Load(const std::string& file);
  const WallClock& clock() const;

  QWidget& window_;
  UserPrompt& prompt_;
  MetadataWindowServices services_;
  std::function<void()> changed_;
  TrustStore trust_;
  std::string rootError_;
  MdsBlob blob_;
  QAction* openAction_ = nullptr;
  QAction* updateAction_ = nullptr;
};
