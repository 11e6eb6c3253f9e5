#include "app/command_line.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg == "--report") {
      line.report = true;
    } else if (arg == "--json") {
      line.json = true;
    } else if (arg == "--security-key-info") {
      line.securityKeyInfo = true;
    } else if (arg == "--fetch") {
      if (i + 1 >= args.size() || (args[i + 1] != "fido2" && args[i + 1] != "u2f")) {
        line.error = "--fetch needs fido2 or u2f";
        return line;
      }
      line.fetch = args[++i];
    } else if (arg == "--pin-stdin") {
      line.pinStdin = true;
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
  if (!line.fetch.empty() && !line.report) line.error = "--fetch needs --report";
  if (line.pinStdin && line.fetch.empty()) line.error = "--pin-stdin needs --fetch";
  return line;
}

std::string UsageText() {
  return "Usage: quillmark [--simulate [PROFILE]]\n"
         "       quillmark --report [--json] [--simulate [PROFILE]] [--security-key-info]\n"
         "                          [--fetch fido2|u2f [--pin-stdin]]\n"
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
         "  --fetch fido2|u2f    with --report: after the refresh, create a test credential\n"
         "                       (fido2) or a U2F registration (u2f) on the key, as a\n"
         "                       double-click on the \"Tips\" row does, and print the\n"
         "                       attestation certificates on their page; touch the key\n"
         "                       when it asks; messages go to stderr as \"error: ...\"\n"
         "                       or \"warning: ...\"\n"
         "  --pin-stdin          with --fetch: read the key's PIN from the first line of\n"
         "                       standard input (needed when the key has a PIN)\n"
         "  --version            print the program's version\n"
         "  --simulate [PROFILE] talk to a simulated key instead of the attached ones;\n"
         "                       PROFILE is a JSON file describing the simulated devices\n"
         "                       (the built-in key when it is left out)\n"
         "  -h, --help           show this text\n"
         "\n"
         "Exit status: 0 when a key answered, 1 when none was found, 2 for bad arguments,\n"
         "3 when a key was found but did not answer.\n";
}
