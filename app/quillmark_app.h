// The application object: owns the QApplication and runs the main window
// modally until it closes.
#pragma once

#include <QApplication>
#include <QIcon>

#include "app/metadata_source.h"

// The program's icon: the scalable picture, or its renderings at fixed
// sizes where the desktop has no SVG support.
QIcon QuillmarkIcon();

class CQuillmarkApp {
 public:
  CQuillmarkApp(int& argc, char** argv);

  // Runs the main window; answers the exit status. `followDevices`: refresh
  // when USB devices come and go (off for the simulated key, which no real
  // event concerns).
  // `metadata`: the metadata options of the command line.
  int InitInstance(bool followDevices, const MetadataOptions& metadata = MetadataOptions());

 private:
  QApplication application_;
};
