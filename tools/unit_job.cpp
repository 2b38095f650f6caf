#include "tools/unit_job.h"

#include <algorithm>

namespace kelvrix {

std::string_view UnitOutcomeText(UnitOutcome outcome) {
  switch (outcome) {
    case UnitOutcome::Done: return "完了";
    case UnitOutcome::NoAnswer: return "応答なし";
    case UnitOutcome::Unread: return "読めない設定";
    case UnitOutcome::NotVerified: return "確認できません";
    case UnitOutcome::ClockRefused: return "パソコンの時刻がユニットの範囲外です";
    case UnitOutcome::Cancelled: return "中止";
    case UnitOutcome::LinkBroke: return "接続が切れました";
    case UnitOutcome::NotConnected: return "接続できません";
    case UnitOutcome::NoFile: return "ファイルがありません";
    case UnitOutcome::BadFile: return "設定ファイルとして読めません";
    case UnitOutcome::Conflict: return "アドレスの重複の疑い";
    case UnitOutcome::NotSaved: return "保存できません";
  }
  return {};
}

UnitJob::UnitJob(JobKind kind, const DeviceSettings& file, JobTimeouts timeouts, bool serialLink, bool sameUnitCheck,
                 LocalClock localTime)
    : kind_(kind),
      file_(file),
      timeouts_(timeouts),
      serialLink_(serialLink),
      sameUnitCheck_(sameUnitCheck),
      localTime_(std::move(localTime)) {}

void UnitJob::Start() {
  phase_ = 1;
  stepsBefore_ = 0;
  written_ = 0;
  cancelledJob_ = false;
  outcome_ = UnitOutcome::Cancelled;
  result_.clear();
  clockSet_.reset();
  switch (kind_) {
    case JobKind::Backup:
    case JobKind::Apply:
      comparison_.StartReading(file_, timeouts_.read);
      break;
    case JobKind::Clock:
      clockDue_ = true;  // the time is read only when the unit's turn has come
      break;
    case JobKind::Histories:
      requests_.Start(HistoryLines(true), timeouts_.read);
      break;
    case JobKind::Replace:  // a ReplaceJob's
      End(UnitOutcome::Cancelled, {});
      break;
  }
}

GatedSequence* UnitJob::Phase() {
  if (phase_ == 0) return nullptr;
  if (kind_ == JobKind::Backup || kind_ == JobKind::Apply) return &comparison_;
  return &requests_;
}

std::optional<ToolRequest> UnitJob::Next(Millis now) {
  if (clockDue_) {
    clockDue_ = false;
    const std::tm time = localTime_ ? localTime_() : std::tm{};
    auto lines = ClockLines(time);
    if (!lines) {
      End(UnitOutcome::ClockRefused, std::string(UnitOutcomeText(UnitOutcome::ClockRefused)));
      return std::nullopt;
    }
    clockSet_ = time;
    requests_.Start(std::move(*lines), timeouts_.write);
  }
  while (GatedSequence* phase = Phase()) {
    if (auto request = phase->Next(now)) return request;
    if (phase->Running()) return std::nullopt;
    PhaseEnded();
  }
  return std::nullopt;
}

void UnitJob::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  if (GatedSequence* phase = Phase()) phase->Replied(line, address, failure);
}

void UnitJob::NoReply() {
  if (GatedSequence* phase = Phase()) phase->NoReply();
}

void UnitJob::Cancel() {
  cancelledJob_ = true;
  if (clockDue_) {  // its turn never came: nothing went out
    clockDue_ = false;
    return End(UnitOutcome::Cancelled, std::string(UnitOutcomeText(UnitOutcome::Cancelled)));
  }
  if (GatedSequence* phase = Phase()) phase->Cancel();
}

bool UnitJob::Running() const { return phase_ != 0; }

GatedSequence::Millis UnitJob::Deadline() const { return Phase() ? Phase()->Deadline() : Millis(0); }

int UnitJob::StepsDone() const { return stepsBefore_ + (Phase() ? Phase()->StepsDone() : 0); }

int UnitJob::StepCount() const {
  // The histories' second hundred and the clock's six are known from the
  // start; the writes of an apply only once the comparison has found them.
  int later = kind_ == JobKind::Histories && phase_ == 1 ? kHistoryEntryCount : 0;
  if (clockDue_) later = 6;
  return stepsBefore_ + (Phase() && !clockDue_ ? Phase()->StepCount() : 0) + later;
}

std::string UnitJob::Written() const {
  return kind_ == JobKind::Apply && written_ > 0 ? comparison_.Tally() : std::string();
}

void UnitJob::PhaseEnded() {
  stepsBefore_ += Phase()->StepCount();
  switch (kind_) {
    case JobKind::Backup:
    case JobKind::Apply:
      return ReadEnded();
    case JobKind::Clock: {
      if (cancelledJob_) return End(UnitOutcome::Cancelled, "中止");
      if (requests_.Silenced() || requests_.Unanswered() == requests_.StepCount()) {
        return End(UnitOutcome::NoAnswer, "応答なし");
      }
      const std::string problems = ClockProblems(requests_);
      return problems.empty() ? End(UnitOutcome::Done, "時刻を設定しました") : End(UnitOutcome::NotVerified, problems);
    }
    case JobKind::Histories:
      return HistoryEnded();
    case JobKind::Replace:
      return;
  }
}

// The read of a backup or an apply ended, or an apply's writes did.
void UnitJob::ReadEnded() {
  const UnitComparison& c = comparison_;
  const bool writing = phase_ == 2;
  const std::string written = writing ? c.Summary() : std::string();
  if (cancelledJob_) return End(UnitOutcome::Cancelled, writing ? written : "中止");
  if (c.Silenced() || (!writing && c.UnansweredCount() == c.AskedCount())) {
    return End(UnitOutcome::NoAnswer, writing ? "応答なし: " + written : "応答なし");
  }
  if (!writing && !c.Unread().empty()) {
    // A file with the initial values in place of what the unit did not give
    // would restore them later; nor is a unit written that was not read whole.
    std::string words = "読めない設定 " + std::to_string(c.Unread().size()) + " 件: " + c.UnreadNames();
    if (kind_ == JobKind::Apply) words += "（書き込みなし）";
    return End(UnitOutcome::Unread, words);
  }
  if (kind_ == JobKind::Backup) return End(UnitOutcome::Done, "読み込み済み");
  const auto& rows = c.Rows();
  if (!writing) {  // read whole: every row differs
    std::vector<int> positions;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].state == RowState::Differs) positions.push_back(static_cast<int>(i));
    }
    written_ = static_cast<int>(positions.size());
    if (rows.empty()) return End(UnitOutcome::Done, "変更なし");
    phase_ = 2;
    comparison_.StartWriting(positions, serialLink_, timeouts_.write, sameUnitCheck_);
    return;
  }
  const auto verified = std::count_if(rows.begin(), rows.end(), [](const ComparisonRow& row) { return row.state == RowState::Verified; });
  if (verified == written_) return End(UnitOutcome::Done, std::to_string(written_) + " 件を変更、確認済み");
  End(UnitOutcome::NotVerified, written);
}

void UnitJob::HistoryEnded() {
  const bool first = phase_ == 1;
  if (cancelledJob_) return End(UnitOutcome::Cancelled, "中止");
  if (requests_.Silenced() || (first && requests_.Unanswered() == kHistoryEntryCount)) {
    return End(UnitOutcome::NoAnswer, "応答なし");
  }
  historyUnanswered_ = (first ? 0 : historyUnanswered_) + requests_.Unanswered() + requests_.Refused();
  if (first) {
    phase_ = 2;
    requests_.Start(HistoryLines(false), timeouts_.read);
    return;
  }
  if (historyUnanswered_ == 0) return End(UnitOutcome::Done, "履歴を読み込み済み");
  End(UnitOutcome::Unread, "読めない履歴 " + std::to_string(historyUnanswered_) + " 件");
}

void UnitJob::End(UnitOutcome outcome, std::string result) {
  phase_ = 0;
  outcome_ = outcome;
  result_ = std::move(result);
}

}  // namespace kelvrix
