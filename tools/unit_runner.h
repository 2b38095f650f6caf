// One tool sequence per unit, driven over the units' connections by events
// the caller feeds in: the bytes a unit sent, a connection made or gone,
// and the time. A serial line's units share the line and take their turns;
// the units that dialled in go all at once, each on its own connection; the
// client's hosts are connected one after the other, each in its turn. The
// panel's unit list and kelvrix-cli both drive their runs through it.
//
// What an event costs does not grow with the number of units: a reply moves
// only its own unit on, and the time-outs wait in order of their deadlines.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "link/serial_line_assembler.h"
#include "model/device_settings.h"
#include "tools/reply_gated_run.h"
#include "tools/sequence_driver.h"

namespace kelvrix {

// A unit's connection as the run sees it; the caller owns the connections
// and tells the run what happens on them.
class UnitConnections {
 public:
  enum class Opening { Failed, Pending, Open };
  virtual ~UnitConnections() = default;
  // Sends `bytes` to `unit` (on a shared line, on the line). False when they
  // could not go: the unit's connection is gone.
  virtual bool Send(std::size_t unit, std::string_view bytes) = 0;
  // Makes the unit's connection when its turn comes: at once, or later
  // (Connected or Gone then follow), or not at all.
  virtual Opening Open(std::size_t /*unit*/) { return Opening::Open; }
  // The run is done with the unit's connection.
  virtual void Close(std::size_t /*unit*/) {}
};

// What a front end feeds a run on many units, and asks of it: the shape in
// which the unit list's timer and notifications, and kelvrix-cli's wait,
// drive every run alike.
class RunEvents {
 public:
  using Millis = ReplyGatedRun::Millis;
  virtual ~RunEvents() = default;
  // Starts the run, and the units added since.
  virtual void Start(Millis now) = 0;
  virtual void Received(std::size_t unit, std::string_view bytes, Millis now) = 0;
  // A shared serial line's bytes.
  virtual void LineReceived(std::string_view bytes, Millis now) = 0;
  virtual void Connected(std::size_t unit, Millis now) = 0;
  virtual void Gone(std::size_t unit, Millis now) = 0;
  // Time-outs due by `now`, and connections not made in time.
  virtual void Tick(Millis now) = 0;
  // "中止": a unit under way ends once the request it has out was answered
  // or timed out; one whose turn has not come never starts.
  virtual void Cancel(Millis now) = 0;
  virtual bool Running() const = 0;
  // When Tick is next due; nothing while no unit waits for a time.
  virtual std::optional<Millis> NextWake() const = 0;
  // The requests answered or given up, and those of the whole run as far as known.
  virtual std::pair<int, int> Progress() const = 0;
};

class UnitRunner : public RunEvents {
 public:
  enum class Turns { AllAtOnce, OneAtATime };
  // How a unit's part ended.
  enum class End { Ended, Broke, NotConnected, NeverStarted };
  // How long a connection may take to be made.
  static constexpr Millis kConnectBound{5000};

  // `sharedLine`: the units are a serial line's, asked one after the other
  // on it; its bytes come through LineReceived.
  UnitRunner(UnitConnections& connections, Turns turns, bool sharedLine = false);
  UnitRunner(const UnitRunner&) = delete;
  UnitRunner& operator=(const UnitRunner&) = delete;

  // A unit's sequence, already started, and the model its replies decode
  // into; both outlive the run. `needsOpen`: its connection is made in its
  // turn. Units may come while the run goes (those that dial in).
  std::size_t Add(GatedSequence& sequence, DeviceSettings& model, UnitTarget target, bool needsOpen = false);
  void Start(Millis now) override;
  void Received(std::size_t unit, std::string_view bytes, Millis now) override;
  void LineReceived(std::string_view bytes, Millis now) override;
  void Connected(std::size_t unit, Millis now) override;
  void Gone(std::size_t unit, Millis now) override;
  void Tick(Millis now) override;
  void Cancel(Millis now) override;
  bool Running() const override { return ended_ < units_.size(); }
  std::optional<Millis> NextWake() const override;
  std::pair<int, int> Progress() const override { return {done_, total_}; }

  bool Cancelled() const { return cancelled_; }
  // The units ended since the last call, in the order they ended.
  std::vector<std::size_t> TakeEnded() { return std::exchange(justEnded_, {}); }
  End EndOf(std::size_t unit) const { return units_[unit].end; }
  bool Started(std::size_t unit) const { return units_[unit].state != State::Waiting; }
  std::size_t Count() const { return units_.size(); }

 private:
  enum class State { Waiting, Opening, Going, Ended };
  struct Unit {
    std::unique_ptr<SequenceDriver> driver;
    bool needsOpen;
    State state = State::Waiting;
    End end = End::Ended;
    std::optional<Millis> wake;  // its key in wakes_
    int done = 0, total = 0;     // its part of the progress
  };

  void Begin(std::size_t unit, Millis now);
  // Sends what the unit's sequence asks for now; ends the unit when it is done.
  void Pump(std::size_t unit, Millis now);
  // Ends the unit's part. One cut short has nothing more to wait for: its
  // request out counts as unanswered, and its sequence settles what it did.
  void Finish(std::size_t unit, End end, Millis now);
  // One at a time, the next unit's turn once the one before ended. Not
  // within itself: a unit that ends inside a send gives the turn on.
  void Settle(Millis now);
  void SetWake(std::size_t unit, std::optional<Millis> wake);
  void CountProgress(std::size_t unit);
  bool Going(std::size_t unit) const { return unit < units_.size() && units_[unit].state == State::Going; }

  UnitConnections& connections_;
  Turns turns_;
  bool sharedLine_;
  std::vector<Unit> units_;
  std::vector<SerialLineAssembler> lines_;  // per connection: one on a shared line
  std::set<std::pair<Millis, std::size_t>> wakes_;
  std::size_t turn_ = 0;  // one at a time: the first unit not ended; all at once: the first not begun
  std::size_t ended_ = 0;
  bool started_ = false;
  bool cancelled_ = false;
  bool settling_ = false;
  std::vector<std::size_t> justEnded_;
  int done_ = 0, total_ = 0;
};

}  // namespace kelvrix
