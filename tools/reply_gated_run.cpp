#include "tools/reply_gated_run.h"

namespace kelvrix {

ReplyGatedRun::Request ReplyGatedRun::SendStep(Millis now, bool retry) {
  waiting_ = true;
  retried_ = retry;
  expired_ = false;
  again_ = false;
  sentAt_ = now;
  return {step_, retry};
}

std::optional<ReplyGatedRun::Request> ReplyGatedRun::Next(Millis now) {
  if (waiting_) {
    if (now < Deadline() && !expired_) return std::nullopt;
    if ((retries_ || again_) && !retried_ && !cancelled_) return SendStep(now, true);
    unanswered_.push_back(step_);
    waiting_ = false;
    ++step_;
    silenced_ = silentLimit_ > 0 && ++silentInARow_ >= silentLimit_;
  }
  if (Done()) return std::nullopt;
  return SendStep(now, false);
}

void ReplyGatedRun::Answered() {
  if (!waiting_) return;
  waiting_ = false;
  silentInARow_ = 0;
  ++step_;
}

}  // namespace kelvrix
