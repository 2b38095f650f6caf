// Units that dialled in, played in memory on a fake clock, for the tests and
// benchmarks of runs on many units at once.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_session.h"
#include "sim/simulated_bus.h"

namespace kelvrix::sim {

// Units that dialled in, each answering a frame `delay` after it; one may
// hang up after some frames. Time passes only while the subcommand waits.
class SimulatedDialledUnits : public cli::DialledUnits {
 public:
  explicit SimulatedDialledUnits(int count) {
    for (int k = 0; k < count; ++k) {
      units_.emplace_back(false, std::vector<int>{});
      char mac[18];
      std::snprintf(mac, sizeof mac, "02-00-00-00-%02X-%02X", (k + 1) >> 8 & 0xFF, (k + 1) & 0xFF);
      CopyText(Unit(k).settings.macAddress, mac);
    }
  }
  SimulatedUnit& Unit(int k) { return units_[k].units().begin()->second; }

  std::size_t Count() const override { return units_.size(); }
  std::string Name(std::size_t unit) const override { return "10.0.0." + std::to_string(unit + 1); }
  bool Write(std::size_t unit, std::string_view bytes) override {
    if (static_cast<int>(unit) == hangUp.unit && --hangUp.afterFrames < 0) {
      pending_.push_back({now_ + delay_, {unit, {}, true}});
    } else if (auto answer = units_[unit].Handle(bytes, {})) {
      pending_.push_back({now_ + delay_, {unit, *answer, false}});
    }
    return true;
  }
  std::vector<Arrival> Read(cli::Millis wait) override {
    std::vector<Arrival> arrivals;
    if (pending_.empty() || pending_.front().first > now_ + wait) {
      now_ += wait;
      return arrivals;
    }
    now_ = std::max(now_, pending_.front().first);
    for (; !pending_.empty() && pending_.front().first <= now_; pending_.pop_front()) {
      arrivals.push_back(pending_.front().second);
    }
    return arrivals;
  }
  cli::Millis Now() override { return now_; }

  struct {
    int unit = -1;
    int afterFrames = 0;
  } hangUp;

 private:
  std::vector<SimulatedBus> units_;
  std::deque<std::pair<cli::Millis, Arrival>> pending_;
  cli::Millis delay_{20};
  cli::Millis now_{0};
};

}  // namespace kelvrix::sim
