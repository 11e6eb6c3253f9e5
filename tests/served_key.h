// quillmark-simkey's server on a thread of the test, stopped at the end.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "simkey/server/sim_server.h"

struct ServedKey {
  // `replyPort` matters for UDP only. Tests check `listening`.
  ServedKey(SimDeviceConfig config, bool udp, uint16_t replyPort = 0,
            const std::string& host = "127.0.0.1")
      : replyPort(replyPort) {
    SimServerOptions options;
    SimServerEndpoint& endpoint = udp ? options.udp : options.tcp;
    endpoint.enabled = true;
    endpoint.host = host;
    endpoint.port = 0;
    endpoint.replyPort = replyPort;
    server = std::make_unique<SimServer>(std::move(config), options);
    std::string error;
    listening = server->Listen(error);
    address = server->Addresses();
    thread = std::thread([this] {
      std::string ignored;
      server->Run(stop, ignored);
    });
  }
  ~ServedKey() {
    stop = 1;
    thread.join();
  }
  std::unique_ptr<SimServer> server;
  bool listening = false;
  std::string address;  // as --device takes it
  uint16_t replyPort;
  volatile int stop = 0;
  std::thread thread;
};
