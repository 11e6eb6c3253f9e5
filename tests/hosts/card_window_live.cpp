// The window following a card on a reader of a real pcscd, pcscd itself
// started after the window and restarted while it is open.
//
// Usage: card_window_live SIMKEY PROFILE VPCD_PORT READER
//
// Run by quillmark_window_over_pcsc.py, which owns the private pcscd: this
// program says on stdout "start pcscd" or "stop pcscd" when the harness is to
// do so, and exits 0 when every check passed, 1 naming the first that failed.
// The USB side is an empty simulated platform, so a key plugged into the
// machine never takes the card's place; the clock of the window's one-second
// wait is the simulated one.
#include <cstdio>
#include <string>

// Before Qt's headers: Qt defines a macro named like a member of simkey's.
#include "tests/gui/gui_test_support.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include "app/card_event_source.h"
#include "app/device_event_source.h"
#include "app/quillmark_dlg.h"
#include "keyinfo/details_page.h"
#include "transport/pcsc_platform.h"

namespace {

// pcscd's start and a card's arrival take real time; these only bound it.
constexpr int kWaitMs = 20000;

std::string Shown(ReportList& list, const std::string& caption) {
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
  }
  return std::string();
}

void Tell(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Fail("usage: card_window_live SIMKEY PROFILE VPCD_PORT READER");
  QApplication application(argc, argv);
  const QString simkey = argv[1], profile = argv[2], port = argv[3];
  const std::string reader = argv[4];

  SimKeyScope usb;  // no USB key
  KeyDevice::Instance().SetCardPlatform(&PcscPlatform::Instance());
  DeviceEventSource events;  // not started: only the cards' messages come
  CardEventSource cards(100);
  QObject::connect(&cards, &CardEventSource::deviceEvent, &events, &DeviceEventSource::deviceEvent);
  QObject::connect(&cards, &CardEventSource::deviceEvent, [](quint32 type, const QString& path) {
    std::fprintf(stderr, "event 0x%X %s\n", type, qPrintable(path));
  });
  FakeSettings settings;
  RecordingOpener opener;
  RecordingPrompt prompt;
  QuillmarkDlgServices services;
  services.settings = &settings;
  services.opener = &opener;
  services.prompt = &prompt;
  services.clock = &usb.platform.clock();
  services.deviceEvents = &events;
  CQuillmarkDlg dialog(services);
  QuillmarkModel& model = dialog.model();
  const auto cardShown = [&] { return Shown(model.infoList, "Device name") == reader; };
  const auto pagesEmpty = [&] {
    return model.infoList.RowCount() == 0 && DetailsList(model).RowCount() == 0;
  };

  if (cards.Start() || !cards.WaitingForService()) {
    return Fail("without pcscd the watch waits for the service");
  }
  Tell("start pcscd");
  if (!QTest::qWaitFor([&] { return cards.Watching(); }, kWaitMs)) {
    return Fail("the watch starts once pcscd runs");
  }
  QProcess card;
  card.start(simkey, {profile, "--vpcd", "127.0.0.1:" + port});
  if (!QTest::qWaitFor(cardShown, kWaitMs)) {
    return Fail("the card laid on the reader is shown; Device name: " +
                Shown(model.infoList, "Device name"));
  }
  const std::string atr = Shown(DetailsList(model), "ATR");
  if (atr.rfind("3B", 0) != 0 || Shown(DetailsList(model), "Protocol").empty()) {
    return Fail("Details shows the card's ATR and protocol; ATR: " + atr);
  }

  // pcscd going away takes the card with it; back again, with the card
  // still on its reader, the card is shown again.
  Tell("stop pcscd");
  if (!QTest::qWaitFor([&] { return pagesEmpty() && cards.WaitingForService(); }, kWaitMs)) {
    return Fail("pcscd stopped: the pages are emptied and the service awaited");
  }
  Tell("start pcscd");
  if (!QTest::qWaitFor([&] { return cards.Watching() && cardShown(); }, kWaitMs)) {
    return Fail("pcscd back: the card already on the reader is shown");
  }

  card.terminate();
  card.waitForFinished(kWaitMs);
  if (!QTest::qWaitFor(pagesEmpty, kWaitMs)) return Fail("the card taken off empties the pages");
  KeyDevice::Instance().SetCardPlatform(nullptr);
  Tell("done");
  return 0;
}
