#include "app/watch_command.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <ostream>

#include "app/all_vendors.h"
#include "app/card_event_source.h"
#include "app/card_readers.h"
#include "app/console_prompt.h"
#include "app/device_event_source.h"
#include "app/interrupt_pipe.h"
#include "app/policy_command.h"
#include "app/report_metadata.h"
#include "app/simulated_platform.h"
#include "app/watch_station.h"
#include "transport/key_device.h"

namespace {

// The card platform for the run, taken away again at its end.
class CardsInUse {
 public:
  CardsInUse(const CommandLine& line, CardPlatform* cards) {
    if (cards == nullptr) cards = CardPlatformFor(line);
    if (cards != nullptr) KeyDevice::Instance().SetCardPlatform(cards);
    used_ = cards != nullptr;
  }
  ~CardsInUse() {
    if (used_) KeyDevice::Instance().SetCardPlatform(nullptr);
  }
  bool used() const { return used_; }

 private:
  bool used_ = false;
};

}  // namespace

int RunWatchCommand(const CommandLine& line, std::istream& in, std::ostream& out, std::ostream& err,
                    const WatchServices& services) {
  Policy policy;
  if (!ReadLinePolicy(line, policy, err)) return EXIT_BAD_ARGUMENTS;
  SimulatedPlatform simulated;
  if (!StartSimulatedPlatform(line, simulated, err)) return EXIT_BAD_ARGUMENTS;
  const AllVendorsScope allVendors(line.allVendors);

  const CardsInUse cards(line, services.cards);
  DeviceEventSource ownEvents;
  CardEventSource cardEvents;
  DeviceEventSource* events = services.events;
  if (events == nullptr) {
    if (!ownEvents.Start()) {
      err << "quillmark: cannot follow keys being plugged in: udev cannot be reached\n";
      return EXIT_NO_KEY;
    }
    events = &ownEvents;
    if (cards.used()) {
      // Tapped and laid cards too, also once pcscd starts later.
      QObject::connect(&cardEvents, &CardEventSource::deviceEvent, events,
                       &DeviceEventSource::deviceEvent);
      cardEvents.Start();
    }
  }
  InterruptPipe interrupt;
  if (!interrupt.Open()) {
    err << "quillmark: cannot catch Ctrl+C\n";
    return EXIT_NO_KEY;
  }

  const WallClock& clock = services.clock != nullptr ? *services.clock : SystemWallClock();
  MdsBlob blob;
  LoadReportMetadata(line, clock, err, blob);
  ConsolePrompt prompt(in, err, line.pinStdin);
  WatchStation station(policy, blob, clock, line.inventory, prompt, out, err);

  QEventLoop loop;
  QObject::connect(
      events, &DeviceEventSource::deviceEvent, &loop,
      [&station](quint32 eventType, const QString&) { station.OnDeviceEvent(eventType); });
  QSocketNotifier interrupted(interrupt.readFd(), QSocketNotifier::Read);
  QObject::connect(&interrupted, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  QTimer::singleShot(0, &loop, [&] {
    err << "quillmark: waiting for keys; Ctrl+C ends\n" << std::flush;
    // Keys attached before the start are checked too.
    station.Scan();
    if (services.started) services.started();
  });
  loop.exec();
  out << station.SummaryLine() << std::endl;
  return station.ExitStatus();
}
