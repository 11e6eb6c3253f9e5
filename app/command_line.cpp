#include "app/command_line.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--report") {
      line.report = true;
    } else if (arg == "--json") {
      line.json = true;
    } else if (arg == "--security-key-info") {
      line.securityKeyInfo = true;
    } else if (arg == "--simulate") {
      line.simulate = true;
      // A profile follows only when the next argument is not an option.
      if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) line.profile = args[++i];
    } else {
      line.error = "unknown argument: " + arg;
      return line;
    }
  }
  if (line.json && !line.report) line.error = "--json needs --report";
  if (line.securityKeyInfo && !line.report) line.error = "--security-key-info needs --report";
  return line;
}

std::string UsageText() {
  return "Usage: quillmark [--simulate [PROFILE]]\n"
         "       quillmark --report [--json] [--simulate [PROFILE]] [--security-key-info]\n"
         "\n"
         "Shows what a FIDO security key says about itself: its identity, the versions\n"
         "of its applets, its authenticatorGetInfo answer and the maker's hardware record.\n"
         "\n"
         "  --report             print the lists of the window (\"Hardware info\",\n"
         "                       \"FIDO2 Certification\", \"U2F Certification\") and exit\n"
         "  --json               with --report: print them as JSON\n"
         "  --security-key-info  with --report: also read and print the \"Security Key\n"
         "                       info\" page (the maker's hardware record), as when the\n"
         "                       SecurityKeyInfo setting is on\n"
         "  --simulate [PROFILE] talk to a simulated key instead of the attached ones;\n"
         "                       PROFILE is a JSON file describing the simulated devices\n"
         "                       (the built-in key when it is left out)\n"
         "  -h, --help           show this text\n"
         "\n"
         "Exit status: 0 when a key was shown, 1 when none was found, 2 for bad arguments.\n";
}
