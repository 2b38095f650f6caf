// kelvrix-cli watch without the program around it: a round's reading of the
// units (each asked its MAC address unless a scan gave it, then both
// histories, on the same engine as every run), and what is new since the
// round before, decided against a state kept per unit (its place and MAC
// address): alarm and video-loss
// entries, a unit that stops or starts answering, a history that shrank, a
// unit swapped at its place. The state is a text file the caller writes
// whole after each round, so that a restart reports nothing twice and
// misses nothing still in the units' hundred entries; the same state gives
// the Prometheus text.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/request_list.h"
#include "tools/unit_files.h"
#include "tools/unit_runner.h"

namespace kelvrix {

// What a round found of one unit.
struct UnitReading {
  std::string label;      // "05", "192.168.0.21", "unit"
  std::string mac;        // as the unit gave it; only a well-formed one names the unit
  bool answered = false;  // both histories read whole
  std::string why;        // when not: "応答なし", "読めない履歴 3 件", ...
  History alarm{}, videoLoss{};
};

// One line of what a round found.
struct WatchLine {
  // "alarm", "video-loss"; "unit_down", "unit_up", "history_cleared",
  // "unit_replaced", and "known" (a unit's first round: its entries counted, not reported)
  std::string kind;
  std::string unit, mac;
  int channel = 0, entry = 0;  // an event's: channel 1..16, its entry 1..100
  std::string unitTime;        // an event's, by the unit's clock: "2026-12-10T12:00:00"
  std::string detail;          // unit_down: why; history_cleared: which; unit_replaced: the MAC before
  std::array<int, 2> known{};  // known: the alarm and video-loss entries held
};

// The line as one JSON object, `seen` the computer's time (ISO 8601).
std::string WatchJson(const WatchLine& line, std::string_view seen);

class WatchState {
 public:
  // The state a file holds; nothing when the text is not one.
  static std::optional<WatchState> Parse(std::string_view text);
  std::string Text() const;

  // The round's readings, at `seenAt` (seconds since 1970): the lines to
  // report, the state brought up to date. A unit of the state the round did
  // not read is down, for `absent`. A unit's first round reports its
  // entries as known, unless `reportAll`.
  std::vector<WatchLine> Take(const std::vector<UnitReading>& readings, std::int64_t seenAt, bool reportAll,
                              std::string_view absent = "見つかりません");

  // The node exporter's textfile format: each unit up or not, its events by
  // kind and channel since the state began, when each kind was last seen new.
  std::string Prometheus(double roundSeconds) const;

 private:
  struct Unit {
    std::string label, mac;
    bool up = true;
    bool read = false;  // its histories were read once: what it holds is known
    std::array<std::vector<std::string>, 2> seen;  // each history's entries, as signatures
    std::map<std::pair<int, int>, std::int64_t> totals;  // (kind, channel) -> events
    std::array<std::int64_t, 2> last{};  // when each kind was last new
  };
  std::string KeyOf(const UnitReading& reading) const;
  void TakeHistory(Unit& unit, int kind, const History& history, std::int64_t seenAt, bool report,
                   std::vector<WatchLine>& lines);

  std::map<std::string, Unit> units_;  // by place and MAC address: "05_02-00-00-00-01-05", or the place alone
};

// A round's reading of units on one link: each asked its MAC address unless
// known, then both histories, reply-gated; one at a time on a serial line,
// all at once on their own connections.
class HistoryRound {
 public:
  using Millis = RunEvents::Millis;
  HistoryRound(UnitConnections& connections, bool sharedLine, Millis timeout);

  // A unit; `address` on RS-485, -1 otherwise. Units may come while it runs.
  std::size_t Add(std::string label, std::string mac, int address = -1);
  RunEvents& Events() { return runner_; }
  std::vector<UnitReading> Readings() const;

 private:
  struct Unit {
    std::string label, mac;
    RequestList requests;
    DeviceSettings model{};
  };
  bool sharedLine_;
  Millis timeout_;
  UnitRunner runner_;
  std::deque<Unit> units_;  // the runner holds their sequences and models
};

}  // namespace kelvrix
