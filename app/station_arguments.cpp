#include "app/station_arguments.h"

#include "app/command_line.h"

std::string StationArgumentsProblem(const CommandLine& line) {
  if (line.summary) {
    const bool alone = !line.report && !line.watch && !line.list && line.policy.empty() &&
                       !line.simulate && line.device.empty() && !line.mdsUpdate;
    if (line.inventory.empty() || !alone) return "--summary goes with --inventory FILE only";
    return {};
  }
  if (line.watch) {
    if (line.policy.empty()) return "--watch needs --policy";
    if (line.report || line.list || line.json || !line.device.empty() || !line.record.empty()) {
      return "--watch goes with --policy, --inventory, --pin-stdin, --simulate, --all-vendors, "
             "--mds and --mds-root only";
    }
  }
  if (!line.policy.empty() && !line.report && !line.watch) {
    return "--policy needs --report or --watch";
  }
  // The policy decides which fetch its rules need.
  if (!line.policy.empty() && !line.fetch.empty())
    return "--policy makes its own fetch: leave out --fetch";
  if (!line.inventory.empty() && line.policy.empty()) {
    return "--inventory needs --policy, or --summary";
  }
  return {};
}
