// Lines sent one by one, each on the answer to the one before, each answer
// kept: one command line, the six lines that set a unit's clock, the hundred
// requests of a history. The command-line tool and the unit list share them.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "tools/reply_gated_run.h"

namespace kelvrix {

// An answer is its request's when it begins with what the request asks for
// ("AH001" for "RAH001"), or, for a line that asks nothing, whatever comes.
class RequestList : public GatedSequence {
 public:
  // `lines` without their CR LF.
  void Start(std::vector<std::string> lines, Millis timeout);
  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;

  const std::vector<std::string>& Lines() const { return lines_; }
  // Per line: the answer (an error reply with its meaning), or nothing.
  std::vector<std::optional<std::string>> answers;

 private:
  std::vector<std::string> lines_;
};

// The lines that set a unit's date and time to `now`, year first and seconds
// last; nothing when the time is outside the unit's range.
std::optional<std::vector<std::string>> ClockLines(const std::tm& now);

// The requests for every entry of the alarm or the video loss history.
std::vector<std::string> HistoryLines(bool alarm);

// The lines of a clock setting not answered "GO", as "DSY26: E3 (Command
// Error)" or "DSY26: 応答なし", comma-separated; empty when all took.
std::string ClockProblems(const RequestList& clock);

}  // namespace kelvrix
