#include "app/quillmark_app.h"

#include "app/card_event_source.h"
#include "app/device_event_source.h"
#include "app/program_version.h"
#include "app/qt_opener.h"
#include "app/quillmark_dlg.h"
#include "app/window_geometry.h"

// The resources live in a static library: nothing would pull their
// registration into the program unless it is named. Outside any namespace,
// as the registration function is a global one.
static void LoadResources() {
  static bool loaded = false;
  if (loaded) return;
  Q_INIT_RESOURCE(quillmark);
  loaded = true;
}

QIcon QuillmarkIcon() {
  LoadResources();
  QIcon icon(":/quillmark.svg");
  if (!icon.pixmap(QSize(32, 32)).isNull()) return icon;
  QIcon rendered;
  for (const char* file :
       {":/quillmark-16.png", ":/quillmark-32.png", ":/quillmark-48.png", ":/quillmark-128.png"}) {
    rendered.addFile(file);
  }
  return rendered;
}

CQuillmarkApp::CQuillmarkApp(int& argc, char** argv) : application_(argc, argv) {
  QApplication::setApplicationName("Quillmark");
  QApplication::setApplicationVersion(QUILLMARK_VERSION);
  QApplication::setDesktopFileName("quillmark");
  QApplication::setWindowIcon(QuillmarkIcon());
}

int CQuillmarkApp::InitInstance(bool followDevices, const MetadataOptions& metadata) {
  QtOpener opener;
  DeviceEventSource deviceEvents;
  WindowGeometry geometry;
  QuillmarkDlgServices services;
  services.opener = &opener;
  services.metadata.options = metadata;
  services.geometry = &geometry;
  if (followDevices && deviceEvents.Start()) services.deviceEvents = &deviceEvents;
  // Cards on readers come through the same messages as USB keys, also when
  // pcscd starts only later.
  CardEventSource cardEvents;
  if (followDevices) {
    QObject::connect(&cardEvents, &CardEventSource::deviceEvent, &deviceEvents,
                     &DeviceEventSource::deviceEvent);
    cardEvents.Start();
    services.deviceEvents = &deviceEvents;
  }

  CQuillmarkDlg dialog(services);
  dialog.exec();
  return 0;
}
