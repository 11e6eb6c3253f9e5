#include "simkey/server/sim_server_options.h"

namespace {

bool ParsePort(const std::string& text, bool zeroAllowed, uint16_t& out) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > 65535 || (value == 0 && !zeroAllowed)) return false;
  out = static_cast<uint16_t>(value);
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "[HOST:]PORT[:REPLYPORT]"; the reply port only with `withReply`.
bool ParseEndpoint(const std::string& text, bool withReply, SimServerEndpoint& out,
                   std::string& error) {
  std::string rest = text;
  std::vector<std::string> parts;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      error = "\"" + text + "\": an IPv6 host is [ADDRESS]:PORT";
      return false;
    }
    out.host = rest.substr(1, close - 1);
    rest = rest.substr(close + 2);
  }
  size_t start = 0;
  for (;;) {
    const size_t colon = rest.find(':', start);
    parts.push_back(rest.substr(start, colon == std::string::npos ? colon : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  // A leading part that is not a number is the host.
  if (text[0] != '[' && parts.size() > 1 && !AllDigits(parts[0])) {
    out.host = parts[0];
    parts.erase(parts.begin());
  }
  if (out.host.empty() || parts.empty() || parts.size() > (withReply ? 2u : 1u) ||
      !ParsePort(parts[0], true, out.port) ||
      (parts.size() == 2 && !ParsePort(parts[1], false, out.replyPort))) {
    error = "\"" + text + "\" is not " +
            (withReply ? "[HOST:]PORT[:REPLYPORT]" : std::string("[HOST:]PORT"));
    return false;
  }
  out.enabled = true;
  return true;
}

}  // namespace

SimServerOptions ParseSimServerOptions(const std::vector<std::string>& args) {
  SimServerOptions options;
  options.udp.port = 8111;
  options.udp.replyPort = 7112;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--udp" || arg == "--tcp") {
      if (i + 1 >= args.size()) {
        options.error = arg + " needs an address";
        return options;
      }
      const bool udp = arg == "--udp";
      SimServerEndpoint endpoint;
      endpoint.replyPort = 7112;
      if (!ParseEndpoint(args[++i], udp, endpoint, options.error)) return options;
      (udp ? options.udp : options.tcp) = endpoint;
    } else if (arg == "--vpcd") {
      if (i + 1 >= args.size()) {
        options.error = arg + " needs an address";
        return options;
      }
      if (!ParseEndpoint(args[++i], false, options.vpcd, options.error)) return options;
    } else if (arg.rfind("-", 0) != 0 && options.profile.empty()) {
      options.profile = arg;
    } else {
      options.error = "unknown argument: " + arg;
      return options;
    }
  }
  if (options.vpcd.enabled && (options.udp.enabled || options.tcp.enabled)) {
    options.error = "--vpcd serves the key as a card only: leave out --udp and --tcp";
    return options;
  }
  if (!options.tcp.enabled && !options.vpcd.enabled) options.udp.enabled = true;
  return options;
}

std::string SimServerUsage() {
  return "Usage: quillmark-simkey [PROFILE] [--udp [HOST:]PORT[:REPLYPORT]] [--tcp [HOST:]PORT]\n"
         "       quillmark-simkey [PROFILE] --vpcd [HOST:]PORT\n"
         "\n"
         "Serves the first device of a simulated key profile (the built-in key without\n"
         "one) as a network authenticator, for Quillmark's --device and for other FIDO\n"
         "hosts. Touches take their time in real time. It prints one line when it\n"
         "listens and answers until interrupted (SIGINT or SIGTERM).\n"
         "\n"
         "  --udp [HOST:]PORT[:REPLYPORT]  take one 64-byte CTAPHID packet per datagram\n"
         "                        on HOST:PORT and send every reply to REPLYPORT on the\n"
         "                        loopback address (default 127.0.0.1:8111, replies to\n"
         "                        7112; the default when neither option is given)\n"
         "  --tcp [HOST:]PORT     take packets over TCP, each after its length in two\n"
         "                        bytes, high byte first\n"
         "  --vpcd [HOST:]PORT    be a contactless FIDO card in the vpcd reader that\n"
         "                        listens on HOST:PORT (its CHANNELID), connecting again\n"
         "                        whenever the reader goes away\n"
         "  -h, --help            show this text\n"
         "\n"
         "HOST is 127.0.0.1 unless given; PORT 0 takes a free port, shown in the line\n"
         "printed when the server listens.\n";
}
