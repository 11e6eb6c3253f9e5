#include "app/report_command.h"

#include <memory>
#include <ostream>

#include "app/access_message.h"
#include "app/report_format.h"
#include "app/simulated_platform.h"
#include "keyinfo/device_state.h"
#include "transport/key_device.h"

int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::ostream& out,
                     std::ostream& err) {
  SimulatedPlatform simulated;
  if (line.simulate) {
    std::string error;
    if (!simulated.Start(line.profile, &error)) {
      err << "quillmark: " << error << "\n";
      return EXIT_BAD_ARGUMENTS;
    }
  }

  QuillmarkModel model;
  model.securityKeyInfoEnabled = securityKeyInfoSwitch || line.securityKeyInfo;
  GetDeviceState(model, "", "");

  const std::vector<ReportPage> pages = ReportPages(model, model.securityKeyInfoEnabled);
  out << (line.json ? FormatReportJson(pages) : FormatReportText(pages));

  const std::vector<std::string>& denied = KeyDevice::Instance().deniedPaths;
  if (model.infoList.RowCount() == 0) {
    err << "quillmark: " << NoKeyMessage(denied) << "\n";
    return EXIT_NO_KEY;
  }
  if (!denied.empty()) err << "quillmark: " << AccessProblemMessage(denied) << "\n";
  return EXIT_KEY_SHOWN;
}
