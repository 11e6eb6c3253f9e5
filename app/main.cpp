#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/report_command.h"
#include "app/settings_switch.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLine line = ParseCommandLine(args);
  if (!line.error.empty()) {
    std::cerr << "quillmark: " << line.error << "\n\n" << UsageText();
    return EXIT_BAD_ARGUMENTS;
  }
  if (line.help) {
    std::cout << UsageText();
    return 0;
  }
  const bool securityKeyInfo = ReadSecurityKeyInfoSwitch(SystemSettings());
  if (line.report) return RunReportCommand(line, securityKeyInfo, std::cout, std::cerr);

  std::cerr << "quillmark: the window is not built yet; use --report to print what the key "
               "says (see --help)\n";
  return EXIT_BAD_ARGUMENTS;
}
