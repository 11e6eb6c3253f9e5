#include "app/report_command.h"

#include <memory>
#include <ostream>

#include "app/access_message.h"
#include "app/all_vendors.h"
#include "app/console_prompt.h"
#include "app/device_choice.h"
#include "app/report_format.h"
#include "app/report_metadata.h"
#include "app/simulated_platform.h"
#include "attestation/certificate_fetch.h"
#include "attestation/tab_state.h"
#include "keyinfo/device_state.h"
#include "transport/key_device.h"

int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::istream& in,
                     std::ostream& out, std::ostream& err, const WallClock* clock) {
  SimulatedPlatform simulated;
  if (!StartSimulatedPlatform(line, simulated, err)) return EXIT_BAD_ARGUMENTS;

  DeviceChoice chosen;
  if (!StartDeviceChoice(line, chosen, err)) return EXIT_NO_KEY;
  const AllVendorsScope allVendors(line.allVendors);

  QuillmarkModel model;
  model.securityKeyInfoEnabled = securityKeyInfoSwitch || line.securityKeyInfo;
  GetDeviceState(model, "", "");
  if (const std::string unreached = chosen.Unreached(); !unreached.empty()) {
    err << "quillmark: " << unreached << "\n";
    return EXIT_NO_KEY;
  }
  const bool keyShown = model.infoList.RowCount() > 0;
  if (keyShown && !model.keyDidNotAnswer && !line.fetch.empty()) {
    ConsolePrompt prompt(in, err, line.pinStdin);
    if (line.fetch == "fido2") {
      FetchFido2Certificates(model, prompt);
    } else {
      FetchU2fCertificate(model, prompt, KeyTransportClock());
    }
  }

  if (keyShown) ShowReportMetadata(line, model, clock != nullptr ? *clock : SystemWallClock(), err);

  const std::vector<ReportPage> pages = ReportPages(model, model.securityKeyInfoEnabled);
  out << (line.json ? FormatReportJson(pages) : FormatReportText(pages));

  DeleteAllCertificateFiles(model);

  const std::vector<std::string>& denied = KeyDevice::Instance().deniedPaths;
  if (!keyShown) {
    err << "quillmark: " << NoKeyMessage(denied) << "\n";
    return EXIT_NO_KEY;
  }
  if (!denied.empty()) err << "quillmark: " << AccessProblemMessage(denied) << "\n";
  if (model.keyDidNotAnswer) {
    err << "quillmark: " << KEY_DID_NOT_ANSWER_TEXT << "\n";
    return EXIT_KEY_DID_NOT_ANSWER;
  }
  return EXIT_KEY_SHOWN;
}
