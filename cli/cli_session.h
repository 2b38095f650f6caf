// The units kelvrix-cli reaches, and the one loop that drives every run on
// them: a serial line (its units share it, one after the other), one TCP
// connection, or the units that dial in (all at once, each taken as it
// comes). Every wait is bounded by the run's next deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/unit_runner.h"

namespace kelvrix::cli {

using Millis = std::chrono::milliseconds;

class CliLink : public UnitConnections {
 public:
  struct Event {
    enum class Kind { Bytes, Gone, Came };
    Kind kind;
    std::size_t unit;   // 0 on a serial line or a TCP connection; units that dial in count from 0 as they come
    std::string bytes;  // Bytes: what came; Came: the address the unit dialled from
  };
  // Waits up to `wait` for what happens on the units' connections.
  virtual std::vector<Event> Wait(Millis wait) = 0;
  virtual Millis Now() = 0;
  // A serial line: its units share it, one after the other.
  virtual bool SharedLine() const { return false; }
  // Units may still dial in: until enough came or the wait for them ended.
  virtual bool Taking() const { return false; }
  // No more units are taken (the run was cancelled).
  virtual void StopTaking() {}
  virtual void Progress(int /*done*/, int /*total*/) {}
};

// Ctrl+C (SIGINT, SIGTERM): the run under way stops once the request out
// was answered or timed out. Safe to call from a signal handler.
void RequestCancel();
bool CancelRequested();

// Drives `run` on `link` until it and the units that may still come have
// ended; `came` is told of each unit that dials in, to add it to the run.
// On a serial line or a TCP connection the run's unit 0 is the link's.
void Drive(RunEvents& run, CliLink& link, const std::function<void(std::size_t unit, const std::string& name)>& came = {});

// Waits for the first unit to dial in; false when none came.
bool AwaitFirstUnit(CliLink& link, std::string& name);

}  // namespace kelvrix::cli
