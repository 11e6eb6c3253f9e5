// quillmark-simkey: a simulated key as a network authenticator.
#include <signal.h>

#include <iostream>
#include <string>
#include <vector>

#include "simkey/server/sim_server.h"
#include "simkey/server/sim_vpcd.h"
#include "simkey/sim_profile.h"

namespace {

volatile int stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  const SimServerOptions options =
      ParseSimServerOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) {
    std::cerr << "quillmark-simkey: " << options.error << "\n\n" << SimServerUsage();
    return 2;
  }
  if (options.help) {
    std::cout << SimServerUsage();
    return 0;
  }
  std::vector<SimDeviceConfig> devices;
  std::string error;
  if (options.profile.empty()) {
    devices.emplace_back();
  } else if (!LoadSimProfileFile(options.profile, devices, error)) {
    std::cerr << "quillmark-simkey: " << error << "\n";
    return 2;
  }
  if (devices.empty()) {
    std::cerr << "quillmark-simkey: " << options.profile << " has no device to serve\n";
    return 2;
  }

  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (options.vpcd.enabled) {
    SimVpcd card(devices.front(), options.vpcd);
    std::cout << "quillmark-simkey: " << devices.front().product << " as a card for vpcd at "
              << options.vpcd.host << ":" << options.vpcd.port << std::endl;
    if (!card.Run(stopRequested, error)) {
      std::cerr << "quillmark-simkey: " << error << "\n";
      return 1;
    }
    return 0;
  }
  SimServer server(devices.front(), options);
  if (!server.Listen(error)) {
    std::cerr << "quillmark-simkey: " << error << "\n";
    return 1;
  }
  std::cout << "quillmark-simkey: " << devices.front().product << " listening on "
            << server.Addresses() << std::endl;
  if (!server.Run(stopRequested, error)) {
    std::cerr << "quillmark-simkey: " << error << "\n";
    return 1;
  }
  return 0;
}
