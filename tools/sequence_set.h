// Sequences on many units, driven by the caller's events: over TCP/IP all
// at once, each unit on a connection of its own; on a serial line one unit
// after the other. Says what goes out now and to which unit, takes each
// reply and each broken connection for its unit, and tells which units have
// ended since it was last asked.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/reply_gated_run.h"

namespace kelvrix {

class SequenceSet {
 public:
  using Millis = ReplyGatedRun::Millis;
  struct Request {
    std::size_t unit;
    ToolRequest request;
  };

  // `sequences` already started, one per unit; they must outlive the run.
  // `held`: no unit is asked until Release(unit) (its connection made).
  void Start(std::vector<GatedSequence*> sequences, bool oneAtATime, bool held = false);
  void Release(std::size_t unit);

  // The requests to send now, unit by unit.
  std::vector<Request> Next(Millis now);
  void Replied(std::size_t unit, std::string_view line, std::string_view address, std::string_view failure);
  // The request just sent to `unit` will get no answer.
  void NoReply(std::size_t unit);
  // The unit's connection went: its sequence is cancelled and ends now.
  void Broke(std::size_t unit);
  // "中止": the sequences going stop after the request they have out; the
  // ones whose turn has not come never start.
  void Cancel();

  bool Running() const;
  // When the first request still out may time out; nothing when none is.
  std::optional<Millis> Deadline() const;
  bool BrokeOff(std::size_t unit) const { return units_[unit].broke; }
  // One at a time: the unit whose turn it is.
  std::optional<std::size_t> Turn() const;
  bool Started(std::size_t unit) const { return units_[unit].started; }
  // The units whose sequence ended since the last call, in the order they ended.
  std::vector<std::size_t> TakeEnded();
  // The requests sent and those of the whole run as far as known, for progress.
  std::pair<int, int> Progress() const;

 private:
  struct Unit {
    GatedSequence* sequence;
    bool started = false;  // its turn has come
    bool ended = false;
    bool broke = false;
    bool held = false;  // its turn may have come, but it is not asked yet
  };
  bool Going(std::size_t unit) const;
  void EndIfDone(std::size_t unit);
  void StartTurns();

  std::vector<Unit> units_;
  bool oneAtATime_ = false;
  bool cancelled_ = false;
  std::vector<std::size_t> ended_;
};

}  // namespace kelvrix
