#include "app/report_command.h"

#include <memory>
#include <ostream>

#include "app/access_message.h"
#include "app/all_vendors.h"
#include "app/console_prompt.h"
#include "app/device_choice.h"
#include "app/key_record.h"
#include "app/policy_command.h"
#include "app/record_file.h"
#include "app/report_format.h"
#include "app/report_metadata.h"
#include "app/simulated_platform.h"
#include "attestation/certificate_fetch.h"
#include "attestation/passkeys_read.h"
#include "attestation/tab_state.h"
#include "keyinfo/device_state.h"
#include "transport/key_device.h"
#include "transport/key_exchange_log.h"

int RunReportCommand(const CommandLine& line, bool securityKeyInfoSwitch, std::istream& in,
                     std::ostream& out, std::ostream& err, const WallClock* clock,
                     TerminalPinReader terminal) {
  // A policy that cannot be used ends the run before any key is asked.
  Policy policy;
  if (!line.policy.empty() && !ReadLinePolicy(line, policy, err)) return EXIT_BAD_ARGUMENTS;
  SimulatedPlatform simulated;
  if (!StartSimulatedPlatform(line, simulated, err)) return EXIT_BAD_ARGUMENTS;

  // A record with nowhere to go is refused before the key is asked anything.
  if (!line.record.empty()) {
    if (const std::string problem = FileTargetProblem(line.record, line.force); !problem.empty()) {
      err << "quillmark: " << problem << "\n";
      return EXIT_RECORD_NOT_WRITTEN;
    }
  }

  DeviceChoice chosen;
  if (!StartDeviceChoice(line, chosen, err)) return chosen.UnreachableExitCode();
  const AllVendorsScope allVendors(line.allVendors);

  QuillmarkModel model;
  model.securityKeyInfoEnabled = securityKeyInfoSwitch || line.securityKeyInfo;
  std::unique_ptr<KeyExchangeLog> exchanges;
  if (!line.record.empty()) exchanges = std::make_unique<KeyExchangeLog>();
  GetDeviceState(model, "", "");
  // Only the refresh is recorded: a fetch would put a PIN exchange and a
  // credential in the record.
  if (exchanges) exchanges->Stop();
  if (const std::string unreached = chosen.Unreached(); !unreached.empty()) {
    err << "quillmark: " << unreached << "\n";
    return EXIT_NO_KEY;
  }
  const bool keyShown = model.infoList.RowCount() > 0;
  const WallClock& wallClock = clock != nullptr ? *clock : SystemWallClock();
  // A record of a refresh cut short by a failed link would replay as a key
  // that has less to say than it has.
  if (keyShown && exchanges && !model.keyLinkLost) {
    std::string problem;
    if (!WriteKeyRecord(line.record, *exchanges, line.force, wallClock, &problem)) {
      err << "quillmark: " << problem << "\n";
      return EXIT_RECORD_NOT_WRITTEN;
    }
  }
  int policyStatus = EXIT_KEY_SHOWN;
  {
    // One PIN serves the fetch, the passkeys and the policy; it goes with the
    // prompt.
    ConsolePrompt prompt(in, err, line.pinStdin, terminal);
    if (keyShown && !model.keyDidNotAnswer && !line.fetch.empty()) {
      if (line.fetch == "fido2") {
        FetchFido2Certificates(model, prompt);
      } else {
        FetchU2fCertificate(model, prompt, KeyTransportClock());
      }
    }
    if (keyShown && !model.keyDidNotAnswer && line.passkeys) ReadPasskeys(model, prompt);
    if (keyShown && !line.policy.empty()) {
      policyStatus = CheckReportedKey(line, policy, model, wallClock, prompt, err);
    } else if (keyShown) {
      ShowReportMetadata(line, model, wallClock, err);
    }
  }

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
    err << "quillmark: " << KeyStoppedText(model) << "\n";
    return EXIT_KEY_DID_NOT_ANSWER;
  }
  return policyStatus;
}
