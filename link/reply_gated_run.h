// A run of requests paced by their replies rather than by a fixed tick: the
// next request goes out as soon as the previous one was answered, or once its
// time-out passed. An unanswered request is sent once more; left unanswered
// again it is counted as such and the run moves on. The maintenance tools
// drive one from a timer set to Deadline() and from each reply; the clock is
// the caller's, so tests run it on a fake one.
//
// A cancelled run still waits for the request it has out: a reply that came
// after its tool had ended would go to whoever listens then.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

namespace kelvrix {

class ReplyGatedRun {
 public:
  using Millis = std::chrono::milliseconds;

  ReplyGatedRun(int stepCount, Millis timeout) : stepCount_(stepCount), timeout_(timeout) {}

  struct Request {
    int step;  // 1..stepCount
    bool retry;
    bool operator==(const Request&) const = default;
  };
  // The request to send now, if any: the first one, the next after an answer,
  // a retry or the next after a time-out. Nothing while a request may still be
  // answered, after the last step, or once cancelled.
  std::optional<Request> Next(Millis now);
  // The reply to the request that waits has come.
  void Answered();
  // The request that waits will not be answered (a socket wait that expired,
  // a write that failed): the next call retries or moves on at once.
  void NoReply() { expired_ = waiting_; }
  // "中止": no request goes out after this.
  void Cancel() { cancelled_ = true; }

  bool Done() const { return !waiting_ && (cancelled_ || step_ > stepCount_); }
  bool Waiting() const { return waiting_; }
  int Step() const { return step_; }
  // When the waiting request times out.
  Millis Deadline() const { return sentAt_ + timeout_; }
  // The steps left unanswered after their retry, in step order.
  const std::vector<int>& Unanswered() const { return unanswered_; }

 private:
  Request SendStep(Millis now, bool retry);

  int stepCount_;
  Millis timeout_;
  int step_ = 1;
  bool waiting_ = false;
  bool retried_ = false;
  bool cancelled_ = false;
  bool expired_ = false;
  Millis sentAt_{0};
  std::vector<int> unanswered_;
};

}  // namespace kelvrix
