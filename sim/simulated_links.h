// Simulated units behind kelvrix-cli's link, on a fake clock, for the tests
// and benchmarks of runs on one unit or many: a serial line with its bus,
// and units that dial in one after the other. A frame's answer comes a
// unit's delay after it; time passes only while the run waits.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_session.h"
#include "sim/simulated_bus.h"

namespace kelvrix::sim {

// What a simulated link has in common: the answers due, in the order of
// their time, and the clock that runs to them.
class FakeClockLink : public cli::CliLink {
 public:
  std::vector<Event> Wait(cli::Millis wait) override {
    std::vector<Event> events;
    const cli::Millis until = now_ + std::max(wait, cli::Millis(0));
    if (due_.empty() || due_.front().first > until) {
      now_ = until;
      return events;
    }
    now_ = std::max(now_, due_.front().first);
    for (; !due_.empty() && due_.front().first <= now_; due_.pop_front()) events.push_back(due_.front().second);
    return events;
  }
  cli::Millis Now() override { return now_; }

 protected:
  // An event at `at`, after those due no later.
  void Due(cli::Millis at, Event event) {
    auto place = due_.end();
    while (place != due_.begin() && std::prev(place)->first > at) --place;
    due_.insert(place, {at, std::move(event)});
  }
  cli::Millis now_{0};

 private:
  std::deque<std::pair<cli::Millis, Event>> due_;
};

// A serial line and the bus of units on it (or the one unit on RS-232C).
class SimulatedLine : public FakeClockLink {
 public:
  explicit SimulatedLine(SimulatedBus& bus) : bus_(bus) {}
  bool SharedLine() const override { return true; }
  bool Send(std::size_t, std::string_view bytes) override {
    ++frames;
    if (silentAfter-- <= 0) return true;
    if (auto answer = bus_.Handle(bytes, mode)) Due(now_ + delay, {Event::Kind::Bytes, 0, *answer});
    return true;
  }

  SimMode mode;
  cli::Millis delay{5};
  int silentAfter = 1 << 30;  // frames answered before the unit falls silent
  int frames = 0;

 private:
  SimulatedBus& bus_;
};

// Units that dial in, unit k at k times `gap` ("10.0.0.1" first), each
// answering on its own connection `delay` after a frame, in its own mode
// (silent, "E3" to everything...); one may hang up after some frames.
class SimulatedDialledUnits : public FakeClockLink {
 public:
  explicit SimulatedDialledUnits(int count, cli::Millis gap = cli::Millis(0)) : modes(count), expected_(count) {
    for (int k = 0; k < count; ++k) {
      units_.emplace_back(false, std::vector<int>{});
      char mac[18];
      std::snprintf(mac, sizeof mac, "02-00-00-00-%02X-%02X", (k + 1) >> 8 & 0xFF, (k + 1) & 0xFF);
      CopyText(Unit(k).settings.macAddress, mac);
      Due(gap * k, {Event::Kind::Came, static_cast<std::size_t>(k), "10.0.0." + std::to_string(k + 1)});
    }
  }
  SimulatedUnit& Unit(int k) { return units_[k].units().begin()->second; }

  std::vector<Event> Wait(cli::Millis wait) override {
    std::vector<Event> events = FakeClockLink::Wait(wait);
    for (const Event& event : events) came_ += event.kind == Event::Kind::Came ? 1 : 0;
    return events;
  }
  bool Taking() const override { return came_ < expected_ && !stopped_; }
  void StopTaking() override { stopped_ = true; }
  bool Send(std::size_t unit, std::string_view bytes) override {
    ++frames;
    if (static_cast<int>(unit) == hangUp.unit && --hangUp.afterFrames < 0) {
      Due(now_ + delay, {Event::Kind::Gone, unit, {}});
    } else if (auto answer = units_[unit].Handle(bytes, modes[unit])) {
      Due(now_ + delay, {Event::Kind::Bytes, unit, *answer});
    }
    return true;
  }

  struct {
    int unit = -1;
    int afterFrames = 0;
  } hangUp;
  std::vector<SimMode> modes;  // per unit
  cli::Millis delay{20};
  int frames = 0;

 private:
  std::vector<SimulatedBus> units_;
  int expected_;
  int came_ = 0;
  bool stopped_ = false;
};

}  // namespace kelvrix::sim
