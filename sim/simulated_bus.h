// The units on the other end of the serial line, and the faults they play.
//
// On RS-232C one unit answers every frame. On RS-485 each frame starts with
// an address: the unit with that address answers with its address in front,
// "FF" reaches every unit and none answers, any other address goes unanswered.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulated_unit.h"

namespace kelvrix::sim {

struct Faults {
  std::string reply;              // when set, every answer is this status line ("E3", "GN", ...)
  bool silent = false;            // answer nothing
  std::vector<std::size_t> split; // write an answer in pieces of these sizes
  int delayMs = 0;                // wait before answering

  // Reads "normal", "silent", "reply E3", "split 2,5,3" or "delay 100", one per
  // line; unknown lines are ignored. Returns the faults after those lines.
  static Faults Parse(std::string_view text);
};

class SimulatedBus {
 public:
  // rs485 false: one unit. rs485 true: one unit per address (0..31).
  SimulatedBus(bool rs485, const std::vector<int>& addresses);

  // The bytes to write back for one received frame (ending in LF), if any.
  std::optional<std::string> Handle(std::string_view frame, const Faults& faults);

  std::map<int, SimulatedUnit>& units() { return units_; }

 private:
  std::optional<std::string> AnswerFrom(SimulatedUnit& unit, std::string_view command,
                                        const Faults& faults);
  bool rs485_;
  std::map<int, SimulatedUnit> units_;
};

}  // namespace kelvrix::sim
