// The refresh over UDP on the loopback interface, against quillmark-simkey's
// server on a thread, beside the same refresh in-process. Prints both, their
// ratio, and the time per report over the network: a few tens of
// microseconds per report mean that the network path adds no waits of its
// own (any wait would show as milliseconds).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "keyinfo/device_state.h"
#include "simkey/server/sim_server.h"
#include "simkey/sim_platform.h"
#include "transport/key_device.h"
#include "transport/network_platform.h"

namespace {

constexpr int kRefreshes = 50;

double SecondsPerRefresh(QuillmarkModel& model) {
  GetDeviceState(model, "", "");  // the first one allocates the channel
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRefreshes; ++i) GetDeviceState(model, "", "");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
         kRefreshes;
}

}  // namespace

int main() {
  KeyDevice& key = KeyDevice::Instance();
  QuillmarkModel model;

  SimKeyPlatform inProcess;
  SimDevice& device = inProcess.AddDevice(SimDeviceConfig());
  key.SetPlatform(&inProcess);
  key.SetClock(&inProcess.clock());
  const size_t before = device.writtenReports.size() + device.reportsDelivered;
  const double local = SecondsPerRefresh(model);
  const double reports =
      static_cast<double>(device.writtenReports.size() + device.reportsDelivered - before) /
      (kRefreshes + 1);
  const size_t rows = model.infoList.RowCount();
  key.SetClock(nullptr);

  SimServerOptions options;
  options.udp.enabled = true;
  options.udp.port = 0;
  options.udp.replyPort = 0;
  // A reply port the system hands out: bind one, note it, let it go.
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  options.udp.replyPort = ntohs(address.sin_port);

  SimServer server(SimDeviceConfig(), options);
  std::string error;
  if (!server.Listen(error)) {
    std::fprintf(stderr, "bench_refresh_network: %s\n", error.c_str());
    return 1;
  }
  volatile int stop = 0;
  std::thread serving([&] {
    std::string ignored;
    server.Run(stop, ignored);
  });
  DeviceName name;
  ParseDeviceName(server.Addresses() + ",vid=096E,pid=0858", name, error);
  std::unique_ptr<NetworkPlatform> udp = NetworkPlatform::ForName(name);
  key.SetPlatform(udp.get());
  key.SetNamedDevice(&name);
  const double network = SecondsPerRefresh(model);
  const size_t networkRows = model.infoList.RowCount();
  key.SetNamedDevice(nullptr);
  key.SetPlatform(nullptr);
  stop = 1;
  serving.join();

  std::printf("refresh in-process:    %8.3f ms (%zu rows, %.0f reports)\n", local * 1e3, rows,
              reports);
  std::printf("refresh over UDP:      %8.3f ms (%zu rows) on %s\n", network * 1e3, networkRows,
              name.path.c_str());
  std::printf("ratio UDP/in-process:  %8.2f\n", network / local);
  std::printf("UDP time per report:   %8.1f us\n", network / reports * 1e6);
  return networkRows == rows ? 0 : 1;
}
