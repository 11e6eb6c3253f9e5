// The command line of quillmark-simkey:
//
//   quillmark-simkey [PROFILE] [--udp [HOST:]PORT[:REPLYPORT]] [--tcp [HOST:]PORT]
//   quillmark-simkey [PROFILE] --vpcd [HOST:]PORT
//
// Without --udp and --tcp it serves UDP 127.0.0.1:8111 and replies to 7112.
// Port 0 asks the system for a free port; the line printed when the server
// listens tells which.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimServerEndpoint {
  bool enabled = false;
  std::string host = "127.0.0.1";
  uint16_t port = 0;
  uint16_t replyPort = 0;  // UDP only
};

struct SimServerOptions {
  bool help = false;
  std::string profile;  // empty: the built-in key
  SimServerEndpoint udp;
  SimServerEndpoint tcp;
  SimServerEndpoint vpcd;  // a card for vpcd instead of a network authenticator
  std::string error;       // empty when the arguments are good
};

// `args` without the program name.
SimServerOptions ParseSimServerOptions(const std::vector<std::string>& args);

std::string SimServerUsage();
