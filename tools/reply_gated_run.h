// A run of requests paced by their replies rather than by a fixed tick: the
// next request goes out as soon as the previous one was answered, or once its
// time-out passed. An unanswered request is sent once more (unless the run
// says not to); left unanswered again it is counted as such and the run
// moves on, unless it is the third in a row: a unit that fell silent costs
// three requests' time-outs, not a hundred and sixty. The maintenance tools
// drive one from a timer set to Deadline() and from each reply; the clock is
// the caller's, so tests run it on a fake one.
//
// A cancelled run still waits for the request it has out: a reply that came
// after its tool had ended would go to whoever listens then.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvrix {

struct DeviceSettings;

class ReplyGatedRun {
 public:
  using Millis = std::chrono::milliseconds;

  // Requests left unanswered in a row that end a run (0: none does, as in a
  // scan of the bus, where most addresses are silent).
  static constexpr int kSilentRequests = 3;

  ReplyGatedRun(int stepCount, Millis timeout, bool retries = true, int silentLimit = kSilentRequests)
      : stepCount_(stepCount), timeout_(timeout), retries_(retries), silentLimit_(silentLimit) {}

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
  // The answer came garbled: the request goes again at once, even in a run
  // without retries; garbled again, it moves on as after a time-out.
  void Again() {
    expired_ = waiting_;
    again_ = waiting_ && !retried_;
  }
  // "中止": no request goes out after this.
  void Cancel() { cancelled_ = true; }

  bool Done() const { return !waiting_ && (cancelled_ || silenced_ || step_ > stepCount_); }
  // Whether the run ended because its unit fell silent.
  bool Silenced() const { return silenced_; }
  bool Waiting() const { return waiting_; }
  // Whether the request that waits is the step's second.
  bool Retrying() const { return retried_; }
  int Step() const { return step_; }
  // When the waiting request times out.
  Millis Deadline() const { return sentAt_ + timeout_; }
  // The steps left unanswered after their retry, in step order.
  const std::vector<int>& Unanswered() const { return unanswered_; }

 private:
  Request SendStep(Millis now, bool retry);

  int stepCount_;
  Millis timeout_;
  bool retries_;
  int silentLimit_;
  int silentInARow_ = 0;
  bool silenced_ = false;
  int step_ = 1;
  bool waiting_ = false;
  bool retried_ = false;
  bool cancelled_ = false;
  bool expired_ = false;
  bool again_ = false;
  Millis sentAt_{0};
  std::vector<int> unanswered_;
};

// What a maintenance tool sends: a line, to the link's chosen unit or, on
// RS-485, to the address given.
struct ToolRequest {
  std::string line;
  int32_t address = -1;  // 0..31; -1: the unit chosen in the slave address box
  bool operator==(const ToolRequest&) const = default;
};

// A tool's sequence over a ReplyGatedRun, as its dialog drives it: asks for
// the next request, tells each reply and each send that will get none.
class GatedSequence {
 public:
  using Millis = ReplyGatedRun::Millis;
  virtual ~GatedSequence() = default;

  // The request to send now, if any. Nothing while one may still be answered.
  virtual std::optional<ToolRequest> Next(Millis now) = 0;
  // A reply came: the line without its RS-485 address, that address (empty
  // off RS-485), and the error the dispatcher reported for it, if any.
  virtual void Replied(std::string_view line, std::string_view address, std::string_view failure) = 0;
  // The request just sent will get no answer.
  virtual void NoReply() {
    if (run_) run_->NoReply();
  }
  // "中止": stops once the request that is out was answered or timed out.
  virtual void Cancel() {
    if (!run_) return;
    cancelled_ = true;
    run_->Cancel();
  }

  // Where the replies decode now, when the sequence holds models of its own
  // (a job of many steps); nothing: the model its driver was given.
  virtual DeviceSettings* Decodes() { return nullptr; }

  virtual bool Running() const { return run_.has_value(); }
  virtual Millis Deadline() const { return run_ ? run_->Deadline() : Millis(0); }
  virtual int StepsDone() const { return run_ ? run_->Step() - 1 : 0; }
  virtual int StepCount() const { return stepCount_; }

 protected:
  void StartRun(int stepCount, Millis timeout, bool retries = true,
                int silentLimit = ReplyGatedRun::kSilentRequests) {
    stepCount_ = stepCount;
    cancelled_ = false;
    run_.emplace(stepCount, timeout, retries, silentLimit);
  }

  std::optional<ReplyGatedRun> run_;
  bool cancelled_ = false;

 private:
  int stepCount_ = 0;
};

}  // namespace kelvrix
