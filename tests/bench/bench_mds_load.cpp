// Reading, verifying and indexing the published metadata file of about 4 MB
// (the shared data folder's no=121), and the resident memory with it loaded.
// Goal: under 200 ms and under 80 MB.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "metadata/file_bytes.h"
#include "metadata/mds_blob.h"

namespace {

// A line of /proc/self/status ("VmRSS:" now, "VmHWM:" the peak), in MB.
double StatusMegabytes(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  double kilobytes = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    const size_t length = std::strlen(field);
    if (std::strncmp(line, field, length) == 0) kilobytes = std::atof(line + length);
  }
  std::fclose(status);
  return kilobytes / 1024;
}

void BM_LoadVerifyIndexMds(benchmark::State& state) {
  const char* folder = std::getenv("QUILLMARK_MDS_DATA_DIR");
  const std::string path = std::string(folder != nullptr ? folder : QUILLMARK_MDS_DATA_DIR) +
                           "/mds3-blob-no121-2024-12-02.jwt";
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFileBytes(path, MDS_MAX_FILE_BYTES, bytes, error)) {
    state.SkipWithError(("the shared metadata file is absent: " + error).c_str());
    return;
  }
  TrustStore trust;
  const FixedWallClock clock(1722470400);  // 2024-08-01, inside the signer's validity
  MdsBlob blob;
  for (auto _ : state) {
    LoadMdsBlob(bytes.data(), bytes.size(), trust, clock, blob);
    if (blob.verdict != MdsVerdict::kCurrent) {
      state.SkipWithError(blob.message.c_str());
      return;
    }
    benchmark::DoNotOptimize(blob.index.FindByAaguid("cb69481e-8ff7-4039-93ec-0a2729a154a8"));
  }
  state.counters["entries"] = static_cast<double>(blob.payload.entries.size());
  state.counters["resident_MB"] = StatusMegabytes("VmRSS:");
  state.counters["peak_resident_MB"] = StatusMegabytes("VmHWM:");
}
BENCHMARK(BM_LoadVerifyIndexMds)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
BENCHMARK_MAIN();
