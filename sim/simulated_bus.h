// The units on the other end of the serial line, and the mode they play.
//
// On RS-232C one unit answers every frame. On RS-485 each frame starts with
// an address: the unit with that address answers with its address in front,
// "FF" reaches every unit and none answers, any other address goes unanswered.
// Two units given the same address both answer, and their answers collide
// on the line into one garbled line.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulated_unit.h"

namespace kelvrix::sim {

// How the simulator behaves for the next frame: the bus it plays and the
// faults it injects.
struct SimMode {
  bool rs485 = false;             // play the RS-485 bus instead of the single RS-232C unit
  std::string reply;              // when set, every answer is this status line ("E3", "GN", ...)...
  long replyFromFrame = 0;        // ...from this frame on (counted from 1 since the start; 0: all)
  bool silent = false;            // answer nothing...
  long silentFromFrame = 0;       // ...or nothing from this frame on (counted like replyFromFrame)
  int silentUnit = 0;             // units that dial in: this one (1, 2, ...) answers nothing
  std::vector<std::size_t> split; // write an answer in pieces of these sizes
  int delayMs = 0;                // wait before answering
  std::size_t noise = 0;          // bytes of noise without LF written before the answer
  int repeat = 1;                 // write the answer this many times...
  int repeatGapMs = 0;            // ...this far apart; 0: all in one write
  bool cut = false;               // network: write half the answer, then reset the connection
  int alarms = -1, videoLosses = -1;  // events every unit has seen: its histories hold the last hundred

  // Reads "rs485", "normal", "silent", "silent from 57", "silent unit 5", "reply E3", "reply E3 from 57",
  // "split 2,5,3", "delay 100", "noise 596", "repeat 40,60", "cut", "alarms 120" or "video-losses 3", one per line;
  // unknown lines are ignored.
  // Returns the mode after those lines.
  static SimMode Parse(std::string_view text);
};

class SimulatedBus {
 public:
  // rs485 false: one unit. rs485 true: one unit per address (0..31) listed,
  // two where an address is listed twice.
  SimulatedBus(bool rs485, const std::vector<int>& addresses);

  // The bytes to write back for one received frame (ending in LF), if any.
  std::optional<std::string> Handle(std::string_view frame, const SimMode& mode);

  std::multimap<int, SimulatedUnit>& units() { return units_; }

 private:
  std::optional<std::string> AnswerFrom(SimulatedUnit& unit, std::string_view command,
                                        const SimMode& mode);
  bool rs485_;
  std::multimap<int, SimulatedUnit> units_;
};

}  // namespace kelvrix::sim
