#include "cli/cli_session.h"

#include <algorithm>

#include "tools/network_run.h"

namespace kelvrix::cli {

bool RunSequence(GatedSequence& sequence, CliLink& link, const UnitTarget& target, DeviceSettings& model) {
  SequenceDriver driver(sequence, target, model);
  while (driver.Running()) {
    if (const auto bytes = driver.Next(link.Now())) {
      if (!link.Write(*bytes)) {
        sequence.Cancel();
        return false;
      }
      link.Progress(sequence.StepsDone(), sequence.StepCount());
      continue;
    }
    if (!driver.Running()) break;
    std::string bytes;
    if (!link.Read(std::max(Millis(0), driver.Deadline() - link.Now()), bytes)) {
      sequence.Cancel();
      return false;
    }
    driver.Received(bytes);
  }
  return true;
}

void RunSequences(std::vector<UnitSequence>& runs, DialledUnits& units) {
  std::vector<NetworkRun::Unit> parts;
  for (UnitSequence& run : runs) parts.push_back({&run.sequence, &run.model});
  NetworkRun network(parts);
  while (network.Running()) {
    // Whatever may go out now goes; then the wait lasts until the first
    // request still out may time out.
    for (const NetworkRun::Out& out : network.Next(units.Now())) {
      if (!units.Write(out.unit, out.bytes)) network.Broke(out.unit);
    }
    const auto deadline = network.Deadline();
    if (!deadline) continue;  // a unit just broke: the others' next requests may go
    const auto [done, total] = network.Set().Progress();
    units.Progress(done, total);
    for (const DialledUnits::Arrival& arrival : units.Read(std::max(Millis(0), *deadline - units.Now()))) {
      if (arrival.broken) {
        network.Broke(arrival.unit);
      } else {
        network.Received(arrival.unit, arrival.bytes);
      }
    }
  }
  for (std::size_t k = 0; k < runs.size(); ++k) runs[k].broke = network.Set().BrokeOff(k);
}

bool FirstDialledUnit::Read(Millis wait, std::string& bytes) {
  bytes.clear();
  for (const DialledUnits::Arrival& arrival : units_.Read(wait)) {
    if (arrival.unit != 0) continue;
    if (arrival.broken) return false;
    bytes += arrival.bytes;
  }
  return true;
}

}  // namespace kelvrix::cli
