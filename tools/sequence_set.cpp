#include "tools/sequence_set.h"

#include <algorithm>

namespace kelvrix {

void SequenceSet::Start(std::vector<GatedSequence*> sequences, bool oneAtATime, bool held) {
  units_.clear();
  for (GatedSequence* sequence : sequences) units_.push_back({.sequence = sequence, .held = held});
  oneAtATime_ = oneAtATime;
  cancelled_ = false;
  ended_.clear();
  StartTurns();
}

bool SequenceSet::Going(std::size_t unit) const { return units_[unit].started && !units_[unit].ended; }

void SequenceSet::Release(std::size_t unit) {
  if (unit < units_.size()) units_[unit].held = false;
}

// Every unit starts at once; one at a time, the first not yet ended.
void SequenceSet::StartTurns() {
  for (Unit& unit : units_) {
    if (unit.ended) continue;
    if (cancelled_ && !unit.started) {
      unit.ended = true;  // its turn never comes: nothing ended that the caller must hear of
      continue;
    }
    unit.started = true;
    if (oneAtATime_) return;
  }
}

void SequenceSet::EndIfDone(std::size_t unit) {
  if (!Going(unit) || units_[unit].sequence->Running()) return;
  units_[unit].ended = true;
  ended_.push_back(unit);
  StartTurns();
}

std::vector<SequenceSet::Request> SequenceSet::Next(Millis now) {
  std::vector<Request> requests;
  for (std::size_t k = 0; k < units_.size(); ++k) {
    if (!Going(k) || units_[k].held) continue;
    if (auto request = units_[k].sequence->Next(now)) {
      requests.push_back({k, std::move(*request)});
      continue;
    }
    EndIfDone(k);  // one at a time, the next unit's turn comes, and the loop asks it next
  }
  return requests;
}

void SequenceSet::Replied(std::size_t unit, std::string_view line, std::string_view address, std::string_view failure) {
  if (unit < units_.size() && Going(unit)) units_[unit].sequence->Replied(line, address, failure);
}

void SequenceSet::NoReply(std::size_t unit) {
  if (unit < units_.size() && Going(unit)) units_[unit].sequence->NoReply();
}

void SequenceSet::Broke(std::size_t unit) {
  if (unit >= units_.size() || !Going(unit)) return;
  units_[unit].broke = true;
  units_[unit].sequence->Cancel();
  units_[unit].ended = true;
  ended_.push_back(unit);
  StartTurns();
}

void SequenceSet::Cancel() {
  cancelled_ = true;
  for (std::size_t k = 0; k < units_.size(); ++k) {
    if (!Going(k)) continue;
    units_[k].sequence->Cancel();
    units_[k].held = false;  // nothing to wait for: it ends on the next call
  }
  StartTurns();
}

bool SequenceSet::Running() const {
  return std::any_of(units_.begin(), units_.end(), [](const Unit& u) { return !u.ended; });
}

std::optional<SequenceSet::Millis> SequenceSet::Deadline() const {
  std::optional<Millis> first;
  for (std::size_t k = 0; k < units_.size(); ++k) {
    if (!Going(k) || units_[k].held || !units_[k].sequence->Running()) continue;
    const Millis deadline = units_[k].sequence->Deadline();
    first = std::min(first.value_or(deadline), deadline);
  }
  return first;
}

std::optional<std::size_t> SequenceSet::Turn() const {
  for (std::size_t k = 0; k < units_.size(); ++k) {
    if (Going(k)) return k;
  }
  return std::nullopt;
}

std::vector<std::size_t> SequenceSet::TakeEnded() { return std::exchange(ended_, {}); }

std::pair<int, int> SequenceSet::Progress() const {
  int done = 0, total = 0;
  for (const Unit& unit : units_) {
    done += unit.sequence->StepsDone();
    total += unit.sequence->StepCount();
  }
  return {done, total};
}

}  // namespace kelvrix
