#include "app/command_line.h"

#include "app/station_arguments.h"
#include "transport/device_name.h"

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
    } else if (arg == "--list") {
      line.list = true;
    } else if (arg == "--all-vendors") {
      line.allVendors = true;
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
    } else if (arg == "--mds" || arg == "--mds-root" || arg == "--mds-url") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        line.error = arg + (arg == "--mds-url" ? " needs an address" : " needs a file");
        return line;
      }
      const std::string& value = args[++i];
      if (arg == "--mds") {
        line.mdsFile = value;
      } else if (arg == "--mds-root") {
        line.mdsRoots.push_back(value);
      } else {
        line.mdsUrl = value;
      }
    } else if (arg == "--mds-timeout") {
      const std::string value = i + 1 < args.size() ? args[i + 1] : "";
      const bool digits = !value.empty() && value.size() <= 9 &&
                          value.find_first_not_of("0123456789") == std::string::npos;
      if (!digits || std::stoi(value) == 0) {
        line.error = "--mds-timeout needs a positive whole number of seconds";
        return line;
      }
      line.mdsTimeoutSeconds = std::stoi(args[++i]);
    } else if (arg == "--policy" || arg == "--inventory") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        line.error = arg + " needs a file";
        return line;
      }
      (arg == "--policy" ? line.policy : line.inventory) = args[++i];
    } else if (arg == "--watch") {
      line.watch = true;
    } else if (arg == "--summary") {
      line.summary = true;
    } else if (arg == "--record") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        line.error = "--record needs a file";
        return line;
      }
      line.record = args[++i];
    } else if (arg == "--force") {
      line.force = true;
    } else if (arg == "--mds-update") {
      line.mdsUpdate = true;
    } else if (arg == "--passkeys") {
      line.passkeys = true;
    } else if (arg == "--pin-stdin") {
      line.pinStdin = true;
    } else if (arg == "--device") {
      DeviceName name;
      std::string problem = "--device needs a value";
      if (i + 1 >= args.size() || !ParseDeviceName(args[i + 1], name, problem)) {
        line.error = problem + "\n" + DeviceNameGrammar();
        return line;
      }
      line.device = args[++i];
    } else if (arg == "--simulate") {
      line.simulate = true;
      // A profile follows only when the next argument is not an option.
      if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) line.profile = args[++i];
    } else {
      line.error = "unknown argument: " + arg;
      return line;
    }
  }
  if (line.json && !line.report && !line.list) line.error = "--json needs --report or --list";
  if (line.list && (line.report || line.mdsUpdate)) {
    line.error = "--list goes with --json, --all-vendors, --device and --simulate only";
  }
  if (line.securityKeyInfo && !line.report) line.error = "--security-key-info needs --report";
  if (!line.fetch.empty() && !line.report) line.error = "--fetch needs --report";
  if (line.passkeys && !line.report) line.error = "--passkeys needs --report";
  if (line.pinStdin && line.fetch.empty() && !line.passkeys && line.policy.empty()) {
    line.error = "--pin-stdin needs --fetch, --passkeys or --policy";
  }
  if (!line.record.empty() && !line.report) line.error = "--record needs --report";
  if (line.force && line.record.empty()) line.error = "--force needs --record";
  if (line.simulate && (line.device.rfind("udp:", 0) == 0 || line.device.rfind("tcp:", 0) == 0)) {
    line.error = "--simulate takes a hidraw path or VID:PID with --device, not an address";
  }
  if (!line.mdsUrl.empty() && !line.mdsUpdate) line.error = "--mds-url needs --mds-update";
  if (line.mdsTimeoutSeconds != 0 && !line.mdsUpdate) {
    line.error = "--mds-timeout needs --mds-update";
  }
  if (const std::string station = StationArgumentsProblem(line); !station.empty()) {
    line.error = station;
  }
  return line;
}

std::string UsageText() {
  return "Usage: quillmark [--device DEVICE] [--simulate [PROFILE]] [--all-vendors]\n"
         "       quillmark --report [--json] [--device DEVICE] [--simulate [PROFILE]]\n"
         "                          [--all-vendors] [--security-key-info]\n"
         "                          [--fetch fido2|u2f] [--passkeys] [--pin-stdin]\n"
         "                          [--record FILE [--force]]\n"
         "       quillmark --list [--json] [--all-vendors] [--device DEVICE]\n"
         "                        [--simulate [PROFILE]]\n"
         "       quillmark --report --policy FILE [--inventory FILE] [--pin-stdin] ...\n"
         "       quillmark --watch --policy FILE [--inventory FILE] [--pin-stdin]\n"
         "                         [--simulate [PROFILE]] [--all-vendors]\n"
         "       quillmark --inventory FILE --summary\n"
         "       quillmark --mds-update [--mds-url URL] [--mds-timeout SECONDS]\n"
         "                          [--mds-root FILE]...\n"
         "  every form also takes [--mds FILE] [--mds-root FILE]...\n"
         "\n"
         "Shows what a FIDO security key says about itself: its identity, the versions\n"
         "of its applets, its authenticatorGetInfo answer and the maker's hardware record.\n"
         "\n"
         "  --report             print the lists of the window (\"Hardware info\",\n"
         "                       \"FIDO2 Certification\", \"U2F Certification\",\n"
         "                       \"Details\") and exit. \"Details\" holds the key's CTAPHID\n"
         "                       facts (protocol, device version, capabilities), every\n"
         "                       authenticatorGetInfo member by its CTAP name, unknown\n"
         "                       ones as 0xNN, its PIN and UV retries, and the whole\n"
         "                       answer in hex and in CBOR diagnostic notation\n"
         "  --json               with --report: print them as JSON; with --list: print\n"
         "                       an array of objects, one per interface\n"
         "  --list               list every FIDO HID interface present, whatever its\n"
         "                       maker, one line each: path, VID:PID, product string,\n"
         "                       release, usage page and usage, whether the maker\n"
         "                       filter keeps it, and whether you may open it (and\n"
         "                       why not); with --device, the key kept is the named\n"
         "                       one, and a network authenticator is listed alone\n"
         "  --all-vendors        show keys of every maker: every FIDO interface, not\n"
         "                       only the maker's own family (the window's \"Show keys\n"
         "                       of every maker\"); rows a key does not answer are left\n"
         "                       out\n"
         "  --security-key-info  with --report: also read and print the \"Security Key\n"
         "                       info\" page (the maker's hardware record), as when the\n"
         "                       SecurityKeyInfo setting is on\n"
         "  --fetch fido2|u2f    with --report: after the refresh, create a test credential\n"
         "                       (fido2) or a U2F registration (u2f) on the key, as a\n"
         "                       double-click on the \"Tips\" row does, and print the\n"
         "                       attestation certificates on their page; touch the key\n"
         "                       when it asks; messages go to stderr as \"error: ...\"\n"
         "                       or \"warning: ...\"\n"
         "  --passkeys           with --report: after the refresh (and the --fetch), read\n"
         "                       what the key stores onto the \"Passkeys\" page: its\n"
         "                       discoverable credentials (relying party, user, user\n"
         "                       id, credential id), how many more fit, fingerprints\n"
         "                       and large-blob array; with the key's PIN, changing\n"
         "                       nothing on the key; not read without this option\n"
         "  --pin-stdin          with --fetch or --passkeys: read the key's PIN from the\n"
         "                       first line of standard input (one line serves both);\n"
         "                       without it the PIN is asked on the terminal\n"
         "  --record FILE        with --report: also write FILE, a profile of the shown key\n"
         "                       for --simulate holding every question of the refresh and\n"
         "                       the key's answers, so that `quillmark --report --simulate\n"
         "                       FILE` prints the same report; it holds no PIN and no\n"
         "                       credential (a --fetch or --passkeys is not recorded)\n"
         "  --force              with --record: replace FILE when it exists\n"
         "  --version            print the program's version\n"
         "  --simulate [PROFILE] talk to a simulated key instead of the attached ones;\n"
         "                       PROFILE is a JSON file describing the simulated devices\n"
         "                       (the built-in key when it is left out)\n"
         "  --device DEVICE      inspect this key rather than the first one found, whatever\n"
         "                       its vendor; DEVICE is one of\n"
         "                         udp:HOST:PORT[:REPLYPORT][,vid=XXXX,pid=XXXX]\n"
         "                           a network authenticator (a firmware's software\n"
         "                           build, quillmark-simkey) taking one 64-byte CTAPHID\n"
         "                           packet per datagram on PORT (8111 by convention)\n"
         "                           and replying to REPLYPORT (7112) on this machine;\n"
         "                           an IPv6 HOST in brackets: udp:[::1]:PORT\n"
         "                         tcp:HOST:PORT[,vid=XXXX,pid=XXXX]\n"
         "                           the same over TCP, each packet after its length in\n"
         "                           two bytes, high byte first\n"
         "                         /dev/hidrawN   a HID interface by its path\n"
         "                         VID:PID        the key with these hexadecimal ids\n"
         "                       with --simulate, a path or ids of a simulated device\n"
         "  --mds FILE           the FIDO metadata file (BLOB) for the \"Metadata\" page;\n"
         "                       without it, the copy cached by --mds-update\n"
         "  --mds-root FILE      also trust this root (PEM or DER) for metadata files;\n"
         "                       under it any signer name is taken, while under the\n"
         "                       built-in roots only mds.fidoalliance.org may sign\n"
         "  --mds-update         download the metadata file into\n"
         "                       $XDG_CACHE_HOME/quillmark/mds.jwt, verify it, and\n"
         "                       replace the cached copy only then; the revocation\n"
         "                       lists its signing chain names are fetched too, kept\n"
         "                       in mds-crl.pem beside it and used offline; a revoked\n"
         "                       signer is refused; with --report the report follows,\n"
         "                       else the program ends\n"
         "  --mds-url URL        with --mds-update: download from URL instead of\n"
         "                       https://mds3.fidoalliance.org/\n"
         "  --mds-timeout SECONDS\n"
         "                       with --mds-update: give up the whole download (file\n"
         "                       and lists) after SECONDS (300 when left out)\n"
         "  --policy FILE        with --report: check the key against the acceptance\n"
         "                       policy FILE (JSON) and add the \"Policy\" page, one row\n"
         "                       per rule and \"Result\"; the fetch, the passkey reading\n"
         "                       and the metadata page that its rules need are run;\n"
         "                       a policy that cannot be read ends the program first\n"
         "  --watch              with --policy: wait for keys and check each key plugged\n"
         "                       in or laid on a card reader (those attached at the\n"
         "                       start too), one line each, \"PASS\" or \"FAIL: reason\";\n"
         "                       Ctrl+C ends it with \"N checked, P passed, F failed\"\n"
         "  --inventory FILE     with --policy: append one JSON line per key checked;\n"
         "                       with --summary: print its counts per model and result\n"
         "                       and the checks that failed\n"
         "  --summary            with --inventory: print the summary and exit\n"
         "  -h, --help           show this text\n"
         "\n"
         "Exit status: 0 when a key answered, 1 when none was found, the --device could\n"
         "not be reached or the --record file could not be written, 2 for bad arguments,\n"
         "3 when a key was found but did not answer or stopped answering (the rows\n"
         "read so far are shown); --mds-update alone: 0 when the cached copy was\n"
         "replaced, 4 when not (a download past --mds-timeout among them); --list: 0\n"
         "when one or more interfaces are listed, 1 when none; --policy: 5 when the key\n"
         "failed a rule or a rule could not be judged (--watch: any key), 1 when a\n"
         "check could not be appended to --inventory; --summary: 1 when the inventory\n"
         "cannot be read.\n";
}
