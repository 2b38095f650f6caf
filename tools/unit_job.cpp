#include "tools/unit_job.h"

#include <algorithm>

namespace kelvrix {

UnitJob::UnitJob(JobKind kind, const DeviceSettings& file, JobTimeouts timeouts, bool serialLink, bool sameUnitCheck,
                 const std::tm& now)
    : kind_(kind), file_(file), timeouts_(timeouts), serialLink_(serialLink), sameUnitCheck_(sameUnitCheck), now_(now) {}

void UnitJob::Start() {
  phase_ = 1;
  stepsBefore_ = 0;
  cancelledJob_ = false;
  succeeded_ = false;
  result_.clear();
  switch (kind_) {
    case JobKind::Backup:
    case JobKind::Apply:
      comparison_.StartReading(file_, timeouts_.read);
      break;
    case JobKind::Clock:
      if (auto lines = ClockLines(now_)) {
        requests_.Start(std::move(*lines), timeouts_.write);
      } else {
        End(false, "パソコンの時刻がユニットの範囲外です");
      }
      break;
    case JobKind::Histories:
      requests_.Start(HistoryLines(true), timeouts_.read);
      break;
  }
}

GatedSequence* UnitJob::Phase() {
  if (phase_ == 0) return nullptr;
  if (kind_ == JobKind::Backup || kind_ == JobKind::Apply) return &comparison_;
  return &requests_;
}

std::optional<ToolRequest> UnitJob::Next(Millis now) {
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
  if (GatedSequence* phase = Phase()) phase->Cancel();
}

bool UnitJob::Running() const { return phase_ != 0; }

GatedSequence::Millis UnitJob::Deadline() const { return Phase() ? Phase()->Deadline() : Millis(0); }

int UnitJob::StepsDone() const { return stepsBefore_ + (Phase() ? Phase()->StepsDone() : 0); }

int UnitJob::StepCount() const {
  // The histories' second hundred is known from the start; the writes of an
  // apply only once the comparison has found them.
  const int later = kind_ == JobKind::Histories && phase_ == 1 ? kHistoryEntryCount : 0;
  return stepsBefore_ + (Phase() ? Phase()->StepCount() : 0) + later;
}

namespace {

int Unanswered(const RequestList& requests) {
  return static_cast<int>(std::count(requests.answers.begin(), requests.answers.end(), std::nullopt));
}

}  // namespace

void UnitJob::PhaseEnded() {
  stepsBefore_ += Phase()->StepCount();
  const bool first = phase_ == 1;
  if (cancelledJob_) return End(false, "中止");
  switch (kind_) {
    case JobKind::Backup:
    case JobKind::Apply: {
      const int unanswered = first ? comparison_.UnansweredCount() : 0;
      if (first && unanswered == comparison_.AskedCount()) return End(false, "応答なし");
      if (kind_ == JobKind::Backup) {
        return End(unanswered == 0, unanswered == 0 ? "読み込み済み" : std::to_string(unanswered) + " 件が応答なし");
      }
      // What the unit holds otherwise, or unreadably, is written, once it
      // has answered every read: a unit that fell silent midway is not
      // written to half-known.
      const auto& rows = comparison_.Rows();
      if (first && unanswered > 0) return End(false, comparison_.Summary());
      if (first) {
        std::vector<int> positions;
        for (std::size_t i = 0; i < rows.size(); ++i) {
          if (rows[i].state == RowState::Differs || rows[i].state == RowState::Unreadable) {
            positions.push_back(static_cast<int>(i));
          }
        }
        written_ = static_cast<int>(positions.size());
        if (positions.empty()) return End(rows.empty(), rows.empty() ? "変更なし" : comparison_.Summary());
        phase_ = 2;
        comparison_.StartWriting(positions, serialLink_, timeouts_.write, sameUnitCheck_);
        return;
      }
      const auto verified = std::count_if(rows.begin(), rows.end(), [](const ComparisonRow& row) { return row.state == RowState::Verified; });
      const bool done = verified == written_ && static_cast<std::size_t>(written_) == rows.size();
      return End(done, done ? std::to_string(written_) + " 件を変更、確認済み" : comparison_.Summary());
    }
    case JobKind::Clock: {
      const std::string problems = ClockProblems(requests_);
      return End(problems.empty(), problems.empty() ? "時刻を設定しました" : problems);
    }
    case JobKind::Histories:
      if (first) {
        historyUnanswered_ = Unanswered(requests_);
        if (historyUnanswered_ == kHistoryEntryCount) return End(false, "応答なし");
        phase_ = 2;
        requests_.Start(HistoryLines(false), timeouts_.read);
        return;
      }
      historyUnanswered_ += Unanswered(requests_);
      return End(historyUnanswered_ == 0, historyUnanswered_ == 0 ? "履歴を読み込み済み"
                                                                  : std::to_string(historyUnanswered_) + " 件が応答なし");
  }
}

void UnitJob::End(bool succeeded, std::string result) {
  phase_ = 0;
  succeeded_ = succeeded;
  result_ = std::move(result);
}

}  // namespace kelvrix
