#include "link/reply_gated_run.h"

namespace kelvrix {

ReplyGatedRun::Request ReplyGatedRun::SendStep(Millis now, bool retry) {
  waiting_ = true;
  retried_ = retry;
  sentAt_ = now;
  return {step_, retry};
}

std::optional<ReplyGatedRun::Request> ReplyGatedRun::Next(Millis now) {
  if (Done()) return std::nullopt;
  if (waiting_) {
    if (now < Deadline()) return std::nullopt;
    if (!retried_) return SendStep(now, true);
    unanswered_.push_back(step_);
    waiting_ = false;
    if (++step_ > stepCount_) return std::nullopt;
  }
  return SendStep(now, false);
}

void ReplyGatedRun::Answered() {
  if (!waiting_ || Done()) return;
  waiting_ = false;
  ++step_;
}

}  // namespace kelvrix
