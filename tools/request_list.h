// Lines sent one by one, each on the answer to the one before, each answer
// kept: one command line, the six lines that set a unit's clock, the hundred
// requests of a history. The command-line tool and the runs on many units
// share them.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "tools/reply_gated_run.h"

namespace kelvrix {

// What came back for one line: the line, and the error the dispatcher
// reported for it, or why it was not the answer asked for.
struct RequestAnswer {
  std::string line;
  std::string failure;  // "Command Error", "Menu Display", "読めない値"; empty when it answered
  bool Taken() const { return failure.empty(); }
  // "AH001 N", or "E3 (Command Error)".
  std::string Text() const;
};

// An answer is its request's when it begins with what the request asks for
// ("AH001" for "RAH001"), or, for a line that asks nothing, whatever comes.
// An error answer (E3, MENU, GN) is kept as a refusal, and so is a read's
// answer that no decoder takes: neither is a value read.
class RequestList : public GatedSequence {
 public:
  // `lines` without their CR LF.
  void Start(std::vector<std::string> lines, Millis timeout);
  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;

  const std::vector<std::string>& Lines() const { return lines_; }
  // Per line: what came back, or nothing.
  const std::vector<std::optional<RequestAnswer>>& Answers() const { return answers_; }
  // The lines without an answer, and those refused.
  int Unanswered() const;
  int Refused() const;
  // Whether the run ended because the unit fell silent.
  bool Silenced() const { return silenced_; }

 private:
  std::vector<std::string> lines_;
  std::vector<std::optional<RequestAnswer>> answers_;
  bool silenced_ = false;
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
