// One whole refresh against the simulated key, with a modelled latency of 1 ms
// per report in each direction. The floor is the latency alone (reports
// exchanged x 1 ms); a ratio close to 1 shows that the refresh adds no waits
// of its own.
#include <benchmark/benchmark.h>

#include <chrono>

#include "keyinfo/device_state.h"
#include "simkey/sim_platform.h"
#include "transport/key_device.h"

namespace {

void BM_Refresh(benchmark::State& state) {
  const auto latency = std::chrono::milliseconds(1);
  SimKeyPlatform platform;
  SimDevice& device = platform.AddDevice(SimDeviceConfig());
  platform.SetReportLatency(latency);
  KeyDevice::Instance().SetPlatform(&platform);
  KeyDevice::Instance().SetClock(&platform.clock());
  QuillmarkModel model;
  model.securityKeyInfoEnabled = state.range(0) != 0;

  size_t reports = 0;
  double seconds = 0;
  for (auto _ : state) {
    const size_t before = device.writtenReports.size() + device.reportsDelivered;
    const auto start = std::chrono::steady_clock::now();
    GetDeviceState(model, "", "");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    reports += device.writtenReports.size() + device.reportsDelivered - before;
  }
  const double floor = static_cast<double>(reports) * 1e-3;
  state.counters["reports"] =
      static_cast<double>(reports) / static_cast<double>(state.iterations());
  state.counters["ratio_to_floor"] = seconds / floor;

  KeyDevice::Instance().SetPlatform(nullptr);
  KeyDevice::Instance().SetClock(nullptr);
}

BENCHMARK(BM_Refresh)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
