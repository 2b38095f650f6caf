// Sequences on many units, each unit on a TCP/IP connection of its own, all
// at once (or one after the other, each connected in its turn): the bytes
// each unit gets now, and what to make of the bytes each one sends. The
// caller owns the connections and the clock (the command-line tool's poll,
// the unit list's socket notifications and timers).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_settings.h"
#include "tools/sequence_driver.h"
#include "tools/sequence_set.h"

namespace kelvrix {

class NetworkRun {
 public:
  using Millis = SequenceSet::Millis;
  // One unit's part: its sequence, already started, and the model its replies decode into.
  struct Unit {
    GatedSequence* sequence;
    DeviceSettings* model;
  };
  struct Out {
    std::size_t unit;
    std::string bytes;
  };

  // The units must outlive the run. One at a time, a unit whose turn has
  // come is asked only once Connected(unit) tells its connection is made.
  explicit NetworkRun(const std::vector<Unit>& units, bool oneAtATime = false);
  void Connected(std::size_t unit) { set_.Release(unit); }

  // The bytes to send now, unit by unit: a unit whose send fails is Broke().
  std::vector<Out> Next(Millis now);
  void Received(std::size_t unit, std::string_view bytes);
  // The unit's connection went: its sequence ends now.
  void Broke(std::size_t unit) { set_.Broke(unit); }
  void Cancel() { set_.Cancel(); }

  bool Running() const { return set_.Running(); }
  // When the first request still out may time out; nothing when none is.
  std::optional<Millis> Deadline() const { return set_.Deadline(); }
  const SequenceSet& Set() const { return set_; }
  SequenceSet& Set() { return set_; }

 private:
  std::vector<std::unique_ptr<SequenceDriver>> drivers_;
  SequenceSet set_;
};

}  // namespace kelvrix
