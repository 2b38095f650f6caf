#include "tools/unit_runner.h"

#include <algorithm>

namespace kelvrix {

UnitRunner::UnitRunner(UnitConnections& connections, Turns turns, bool sharedLine)
    : connections_(connections), turns_(turns), sharedLine_(sharedLine), lines_(sharedLine ? 1 : 0) {}

std::size_t UnitRunner::Add(GatedSequence& sequence, DeviceSettings& model, UnitTarget target, bool needsOpen) {
  const std::size_t unit = units_.size();
  Unit& added = units_.emplace_back();
  added.driver = std::make_unique<SequenceDriver>(sequence, target, model);
  added.needsOpen = needsOpen;
  if (!sharedLine_) lines_.emplace_back();
  CountProgress(unit);
  return unit;
}

void UnitRunner::Start(Millis now) {
  started_ = true;
  if (turns_ == Turns::AllAtOnce) {
    for (; turn_ < units_.size(); ++turn_) {  // all at once, the turn is the first unit not yet begun
      if (cancelled_) {
        Finish(turn_, End::NeverStarted, now);
      } else {
        Begin(turn_, now);
      }
    }
  }
  Settle(now);
}

void UnitRunner::Begin(std::size_t unit, Millis now) {
  Unit& u = units_[unit];
  if (u.state != State::Waiting) return;
  if (!u.needsOpen) {
    u.state = State::Going;
    return Pump(unit, now);
  }
  switch (connections_.Open(unit)) {
    case UnitConnections::Opening::Failed:
      return Finish(unit, End::NotConnected, now);
    case UnitConnections::Opening::Pending:
      u.state = State::Opening;
      return SetWake(unit, now + kConnectBound);
    case UnitConnections::Opening::Open:
      u.state = State::Going;
      return Pump(unit, now);
  }
}

void UnitRunner::Pump(std::size_t unit, Millis now) {
  while (Going(unit)) {
    const auto bytes = units_[unit].driver->Next(now);
    if (!bytes) break;
    if (!connections_.Send(unit, *bytes) && Going(unit)) Finish(unit, End::Broke, now);
  }
  if (!Going(unit)) return;
  CountProgress(unit);
  GatedSequence& sequence = units_[unit].driver->Sequence();
  if (!sequence.Running()) return Finish(unit, End::Ended, now);
  SetWake(unit, std::max(sequence.Deadline(), now + Millis(1)));  // never a wake already due: no spin
}

void UnitRunner::Finish(std::size_t unit, End end, Millis now) {
  Unit& u = units_[unit];
  if (u.state == State::Ended) return;
  if (end != End::Ended) {
    GatedSequence& sequence = u.driver->Sequence();
    sequence.Cancel();
    sequence.NoReply();
    sequence.Next(now);
  }
  if (u.state != State::Waiting && u.needsOpen) connections_.Close(unit);
  u.state = State::Ended;
  u.end = end;
  SetWake(unit, std::nullopt);
  CountProgress(unit);
  ++ended_;
  justEnded_.push_back(unit);
}

void UnitRunner::Settle(Millis now) {
  if (turns_ != Turns::OneAtATime || settling_ || !started_) return;
  settling_ = true;
  while (turn_ < units_.size()) {
    Unit& u = units_[turn_];
    if (u.state == State::Waiting) {
      if (cancelled_) {
        Finish(turn_, End::NeverStarted, now);
      } else {
        Begin(turn_, now);
      }
    }
    if (u.state != State::Ended) break;
    ++turn_;
  }
  settling_ = false;
}

void UnitRunner::Received(std::size_t unit, std::string_view bytes, Millis now) {
  if (!Going(unit) || sharedLine_) return;
  for (const std::string& line : lines_[unit].AddRead(bytes)) {
    if (!Going(unit)) break;
    units_[unit].driver->ReceivedLine(line);
    Pump(unit, now);
  }
  Settle(now);
}

void UnitRunner::LineReceived(std::string_view bytes, Millis now) {
  if (!sharedLine_) return;
  for (const std::string& line : lines_[0].AddRead(bytes)) {
    // The line is the turn's: a unit whose turn has passed hears nothing more.
    if (!Going(turn_)) continue;
    units_[turn_].driver->ReceivedLine(line);
    Pump(turn_, now);
    Settle(now);
  }
}

void UnitRunner::Connected(std::size_t unit, Millis now) {
  if (unit >= units_.size() || units_[unit].state != State::Opening) return;
  units_[unit].state = State::Going;
  Pump(unit, now);
  Settle(now);
}

void UnitRunner::Gone(std::size_t unit, Millis now) {
  if (unit >= units_.size()) return;
  const State state = units_[unit].state;
  if (state == State::Opening) Finish(unit, End::NotConnected, now);
  if (state == State::Going) Finish(unit, End::Broke, now);
  Settle(now);
}

void UnitRunner::Tick(Millis now) {
  while (!wakes_.empty() && wakes_.begin()->first <= now) {
    const std::size_t unit = wakes_.begin()->second;
    if (units_[unit].state == State::Opening) {
      Finish(unit, End::NotConnected, now);
    } else {
      SetWake(unit, std::nullopt);  // asked again below: a retry, the next request, or its end
      Pump(unit, now);
    }
  }
  Settle(now);
}

void UnitRunner::Cancel(Millis now) {
  if (cancelled_) return;
  cancelled_ = true;
  for (std::size_t unit = 0; unit < units_.size(); ++unit) {
    switch (units_[unit].state) {
      case State::Going:
        units_[unit].driver->Sequence().Cancel();
        Pump(unit, now);  // ends now unless a request is out
        break;
      case State::Opening:
      case State::Waiting:
        if (started_) Finish(unit, End::NeverStarted, now);
        break;
      case State::Ended:
        break;
    }
  }
  Settle(now);
}

std::optional<UnitRunner::Millis> UnitRunner::NextWake() const {
  if (wakes_.empty()) return std::nullopt;
  return wakes_.begin()->first;
}

void UnitRunner::SetWake(std::size_t unit, std::optional<Millis> wake) {
  Unit& u = units_[unit];
  if (u.wake == wake) return;
  if (u.wake) wakes_.erase({*u.wake, unit});
  u.wake = wake;
  if (wake) wakes_.insert({*wake, unit});
}

void UnitRunner::CountProgress(std::size_t unit) {
  Unit& u = units_[unit];
  const GatedSequence& sequence = u.driver->Sequence();
  const int done = sequence.StepsDone(), total = std::max(sequence.StepCount(), done);
  done_ += done - u.done;
  total_ += total - u.total;
  u.done = done;
  u.total = total;
}

}  // namespace kelvrix
