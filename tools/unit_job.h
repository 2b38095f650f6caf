// What is done to one unit of a run on many: read it for a backup, apply a
// settings file to it (compare, write what differs, read it back), set its
// clock, or read both its histories. A job is one sequence made of phases,
// each a sequence of its own that starts when the one before has ended;
// every reply of every phase decodes into the job's model.
//
// A job says "done" only of what it read or verified: an error answer or a
// garbled one leaves its request unread as silence does, a unit that falls
// silent for three requests in a row ends its job, and an apply writes
// nothing to a unit it could not read whole.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/device_settings.h"
#include "tools/reply_gated_run.h"
#include "tools/request_list.h"
#include "tools/unit_comparison.h"

namespace kelvrix {

enum class JobKind { Backup, Apply, Clock, Histories, Replace };

// What came of a unit's job in a run; UnitOutcomeText gives the words.
enum class UnitOutcome {
  Done,          // all that was asked was read, written and verified
  NoAnswer,      // the unit answered nothing, or fell silent
  Unread,        // some settings or entries gave no value
  NotVerified,   // an apply whose writes were not all verified
  ClockRefused,  // the computer's clock is outside the unit's range
  Cancelled,     // "中止" before the job ended
  LinkBroke,     // the unit's connection went during its job
  NotConnected,  // its connection could not be made
  NoFile,        // apply from a folder: none names the unit
  BadFile,       // its file is not a whole settings data file
  Conflict,      // two units may share its RS-485 address: neither can be asked alone
  NotSaved,      // what was read could not be written to its file
};
std::string_view UnitOutcomeText(UnitOutcome outcome);  // "完了", "応答なし", ...

struct JobTimeouts {
  ReplyGatedRun::Millis read;   // a read request's answer
  ReplyGatedRun::Millis write;  // a setting's or the clock's "GO"
};

// The computer's local time, read when a clock is about to be set.
using LocalClock = std::function<std::tm()>;

// What a run on many units asks of each unit's job once it ended.
class RunJob : public GatedSequence {
 public:
  virtual UnitOutcome Outcome() const = 0;
  // In a few words what came of it ("変更なし", "3 件を変更、確認済み", ...).
  virtual const std::string& Result() const = 0;
  // What the unit gave: its settings and histories as read, for its files.
  virtual const DeviceSettings& Model() const = 0;
  // What it wrote and verified, however it ended; empty when it wrote nothing.
  virtual std::string Written() const { return {}; }
};

class UnitJob : public RunJob {
 public:
  // `file`: the settings to apply (Apply), or to read over (the initial
  // values, for the others). `sameUnitCheck`: ask the unit's MAC address
  // again before writing (RS-232C, where the cable may have moved).
  // `localTime`: read just before the first clock line goes out (Clock).
  UnitJob(JobKind kind, const DeviceSettings& file, JobTimeouts timeouts, bool serialLink, bool sameUnitCheck,
          LocalClock localTime = {});

  // Starts the first phase.
  void Start();

  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;
  void NoReply() override;
  void Cancel() override;
  bool Running() const override;
  Millis Deadline() const override;
  int StepsDone() const override;
  int StepCount() const override;

  // Where the replies decode: the unit's settings and histories as read.
  DeviceSettings& Model() { return comparison_.unit; }
  const DeviceSettings& Model() const override { return comparison_.unit; }
  DeviceSettings* Decodes() override { return &comparison_.unit; }
  const UnitComparison& Comparison() const { return comparison_; }
  JobKind Kind() const { return kind_; }
  // Clock: the time sent, once its lines were built.
  const std::optional<std::tm>& ClockSet() const { return clockSet_; }

  // Once ended: what came of it, and in a few words what it did ("変更なし",
  // "3 件を変更、確認済み", "読めない設定 2 件: RVN、REMA", ...).
  UnitOutcome Outcome() const override { return outcome_; }
  bool Succeeded() const { return outcome_ == UnitOutcome::Done; }
  const std::string& Result() const override { return result_; }
  // What an apply wrote and verified before it ended, however it ended:
  // the comparison's tally once it began writing; empty before.
  std::string Written() const override;

 private:
  GatedSequence* Phase();
  const GatedSequence* Phase() const { return const_cast<UnitJob*>(this)->Phase(); }
  // The phase just ended: starts the next one, or ends the job with its result.
  void PhaseEnded();
  void ReadEnded();
  void HistoryEnded();
  void End(UnitOutcome outcome, std::string result);

  JobKind kind_;
  DeviceSettings file_;  // what the unit is compared with: the file to apply, or the initial values
  JobTimeouts timeouts_;
  bool serialLink_;
  bool sameUnitCheck_;
  LocalClock localTime_;
  std::optional<std::tm> clockSet_;
  UnitComparison comparison_;
  RequestList requests_;
  int phase_ = 0;  // 1.., 0 before the start and after the end
  bool clockDue_ = false;  // the clock's lines are built when the first goes out
  bool cancelledJob_ = false;
  UnitOutcome outcome_ = UnitOutcome::Cancelled;
  std::string result_;
  int stepsBefore_ = 0;  // the steps of the phases ended
  int historyUnanswered_ = 0;
  int written_ = 0;  // the settings an apply writes
};

}  // namespace kelvrix
