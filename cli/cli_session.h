// Running one tool sequence against one unit (or a bus of them) over a link
// of the command-line tool: each request framed as the panel frames it, each
// reply line decoded by the panel's dispatcher and handed to the sequence.
// Every wait is bounded by the sequence's own deadline.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"
#include "tools/reply_gated_run.h"
#include "tools/sequence_driver.h"

namespace kelvrix::cli {

using Millis = std::chrono::milliseconds;

// Bytes to and from a unit, on the caller's clock.
class CliLink {
 public:
  virtual ~CliLink() = default;
  // False when the link broke.
  virtual bool Write(std::string_view bytes) = 0;
  // Waits up to `wait` for bytes and puts what came into `bytes` (nothing
  // on a time-out). False when the link broke.
  virtual bool Read(Millis wait, std::string& bytes) = 0;
  virtual Millis Now() = 0;
  // How far the sequence has come, after each request: for a terminal.
  virtual void Progress(int /*done*/, int /*total*/) {}
};

// Units that dialled in, each on a connection of its own, waited on
// together on the caller's clock.
class DialledUnits {
 public:
  struct Arrival {
    std::size_t unit;
    std::string bytes;
    bool broken;  // the connection went: no more bytes will come
  };
  virtual ~DialledUnits() = default;
  virtual std::size_t Count() const = 0;
  // The address the unit dialled from: "192.168.0.21".
  virtual std::string Name(std::size_t unit) const = 0;
  // False when the unit's connection broke.
  virtual bool Write(std::size_t unit, std::string_view bytes) = 0;
  // Waits up to `wait` for bytes from any unit; what came, unit by unit.
  virtual std::vector<Arrival> Read(Millis wait) = 0;
  virtual Millis Now() = 0;
  virtual void Progress(int /*done*/, int /*total*/) {}
};

// Runs `sequence`, already started, to its end; replies decode into
// `model`. False when the link broke (the sequence is then cancelled).
bool RunSequence(GatedSequence& sequence, CliLink& link, const UnitTarget& target, DeviceSettings& model);

// One unit's part in a run on many: its sequence, already started, and the
// model its replies decode into.
struct UnitSequence {
  GatedSequence& sequence;
  DeviceSettings& model;
  bool broke = false;  // its connection went before the end
};

// Runs one sequence per unit, all at once: unit k's on connection k.
void RunSequences(std::vector<UnitSequence>& runs, DialledUnits& units);

// The first unit that dialled in, as the one link of a subcommand on one unit.
class FirstDialledUnit : public CliLink {
 public:
  explicit FirstDialledUnit(DialledUnits& units) : units_(units) {}
  bool Write(std::string_view bytes) override { return units_.Write(0, bytes); }
  bool Read(Millis wait, std::string& bytes) override;
  Millis Now() override { return units_.Now(); }
  void Progress(int done, int total) override { units_.Progress(done, total); }

 private:
  DialledUnits& units_;
};

}  // namespace kelvrix::cli
