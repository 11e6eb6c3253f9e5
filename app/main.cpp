#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/device_choice.h"
#include "app/list_command.h"
#include "app/metadata_download.h"
#include "app/policy_command.h"
#include "app/quillmark_app.h"
#include "app/report_command.h"
#include "app/settings_switch.h"
#include "app/simulated_platform.h"
#include "app/terminal_pin.h"
#include "app/version_text.h"
#include "app/watch_command.h"
#include "transport/key_device.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLine line = ParseCommandLine(args);
  if (!line.error.empty()) {
    std::cerr << "quillmark: " << line.error << "\n\n" << UsageText();
    return EXIT_BAD_ARGUMENTS;
  }
  if (line.version) {
    std::cout << VersionText();
    return 0;
  }
  if (line.help) {
    std::cout << UsageText();
    return 0;
  }
  if (line.list) return RunListCommand(line, std::cout, std::cerr);
  if (line.summary) return RunInventorySummaryCommand(line, std::cout, std::cerr);
  MetadataOptions metadata{line.mdsFile, line.mdsRoots, line.mdsUrl};
  if (line.mdsTimeoutSeconds > 0) metadata.timeoutSeconds = line.mdsTimeoutSeconds;
  if (line.mdsUpdate) {
    bool stored = false;
    {
      QCoreApplication core(argc, argv);
      stored = RunMetadataUpdateCommand(metadata, std::cerr);
    }
    if (!line.report) return stored ? 0 : EXIT_MDS_UPDATE_FAILED;
  }
  const bool securityKeyInfo = ReadSecurityKeyInfoSwitch(SystemSettings());
  if (line.report) {
    return RunReportCommand(line, securityKeyInfo, std::cin, std::cout, std::cerr, nullptr,
                            ReadPinFromTerminal);
  }
  if (line.watch) {
    QCoreApplication core(argc, argv);
    return RunWatchCommand(line, std::cin, std::cout, std::cerr);
  }

  SimulatedPlatform simulated;
  if (!StartSimulatedPlatform(line, simulated, std::cerr)) return EXIT_BAD_ARGUMENTS;
  DeviceChoice chosen;
  if (!StartDeviceChoice(line, chosen, std::cerr)) return chosen.UnreachableExitCode();
  // The window's entry "Show keys of every maker" starts checked.
  if (line.allVendors) KeyDevice::Instance().SetAllVendors(true);
  CQuillmarkApp app(argc, argv);
  // A network authenticator comes and goes with no USB event.
  return app.InitInstance(!line.simulate && !chosen.network(), metadata);
}
