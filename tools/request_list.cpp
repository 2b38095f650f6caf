#include "tools/request_list.h"

#include <algorithm>

#include "model/command_catalogue.h"
#include "model/device_settings.h"
#include "model/reply_decoders.h"
#include "model/unit_text.h"

namespace kelvrix {

std::string RequestAnswer::Text() const {
  const std::string shown = UnitText(line);
  return failure.empty() ? shown : shown + " (" + failure + ")";
}

void RequestList::Start(std::vector<std::string> lines, Millis timeout) {
  lines_ = std::move(lines);
  answers_.assign(lines_.size(), std::nullopt);
  silenced_ = false;
  StartRun(static_cast<int>(lines_.size()), timeout);
}

std::optional<ToolRequest> RequestList::Next(Millis now) {
  if (!run_) return std::nullopt;
  if (const auto request = run_->Next(now)) return ToolRequest{lines_[request->step - 1] + "\r\n"};
  if (run_->Done()) {
    silenced_ = run_->Silenced();
    run_.reset();
  }
  return std::nullopt;
}

void RequestList::Replied(std::string_view line, std::string_view, std::string_view failure) {
  if (!run_ || !run_->Waiting()) return;
  const std::string& asked = lines_[run_->Step() - 1];
  RequestAnswer answer{std::string(line), std::string(failure)};
  if (failure.empty() && asked.starts_with("R")) {
    if (!AnswersReadRequest(asked, line)) return;  // a late answer to an earlier line
    DeviceSettings scratch{};
    const ReplyDecoder* decoder = FindReplyDecoder(line);
    if (!decoder || !decoder->decode(line, scratch)) answer.failure = "読めない値";
  }
  answers_[run_->Step() - 1] = std::move(answer);
  run_->Answered();
}

int RequestList::Unanswered() const {
  return static_cast<int>(std::count(answers_.begin(), answers_.end(), std::nullopt));
}

int RequestList::Refused() const {
  return static_cast<int>(
      std::count_if(answers_.begin(), answers_.end(), [](const auto& answer) { return answer && !answer->Taken(); }));
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
    const auto& answer = clock.Answers()[i];
    if (answer && answer->Taken() && answer->line.starts_with("GO")) continue;
    problems += (problems.empty() ? "" : ", ") + clock.Lines()[i] + ": " + (answer ? answer->Text() : "応答なし");
  }
  return problems;
}

}  // namespace kelvrix
