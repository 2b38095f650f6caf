#include "tools/request_list.h"

#include "model/command_catalogue.h"
#include "model/device_settings.h"
#include "model/reply_decoders.h"

namespace kelvrix {

void RequestList::Start(std::vector<std::string> lines, Millis timeout) {
  lines_ = std::move(lines);
  answers.assign(lines_.size(), std::nullopt);
  StartRun(static_cast<int>(lines_.size()), timeout);
}

std::optional<ToolRequest> RequestList::Next(Millis now) {
  if (!run_) return std::nullopt;
  if (const auto request = run_->Next(now)) return ToolRequest{lines_[request->step - 1] + "\r\n"};
  if (run_->Done()) run_.reset();
  return std::nullopt;
}

void RequestList::Replied(std::string_view line, std::string_view, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  const std::string& asked = lines_[run_->Step() - 1];
  if (failure.empty() && asked.starts_with("R") && !AnswersReadRequest(asked, line)) return;
  answers[run_->Step() - 1] =
      failure.empty() ? std::string(line) : std::string(line) + " (" + std::string(failure) + ")";
  run_->Answered();
}

namespace {

std::string WithoutLineEnd(const std::string& text) { return text.substr(0, text.find('\r')); }

}  // namespace

std::optional<std::vector<std::string>> ClockLines(const std::tm& now) {
  const BuiltCommand commands[] = {BuildDSY(now.tm_year + 1900), BuildDSM(now.tm_mon + 1), BuildDSD(now.tm_mday),
                                   BuildTSH(now.tm_hour),         BuildTSM(now.tm_min),     BuildTSS(now.tm_sec)};
  std::vector<std::string> lines;
  for (const BuiltCommand& command : commands) {
    if (command.refused()) return std::nullopt;
    lines.push_back(WithoutLineEnd(command.text));
  }
  return lines;
}

std::vector<std::string> HistoryLines(bool alarm) {
  std::vector<std::string> lines;
  for (int entry = 1; entry <= kHistoryEntryCount; ++entry) {
    lines.push_back(WithoutLineEnd(alarm ? BuildAlarmHistoryReadRequest(entry) : BuildVideoLossHistoryReadRequest(entry)));
  }
  return lines;
}

std::string ClockProblems(const RequestList& clock) {
  std::string problems;
  for (std::size_t i = 0; i < clock.Lines().size(); ++i) {
    const auto& answer = clock.answers[i];
    if (answer && answer->starts_with("GO")) continue;
    problems += (problems.empty() ? "" : ", ") + clock.Lines()[i] + ": " + answer.value_or("応答なし");
  }
  return problems;
}

}  // namespace kelvrix
