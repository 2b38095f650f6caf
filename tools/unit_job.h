// What is done to one unit of a run on many: read it for a backup, apply a
// settings file to it (compare, write what differs, read it back), set its
// clock, or read both its histories. A job is one sequence made of phases,
// each a sequence of its own that starts when the one before has ended;
// every reply of every phase decodes into the job's model.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "model/device_settings.h"
#include "tools/reply_gated_run.h"
#include "tools/request_list.h"
#include "tools/unit_comparison.h"

namespace kelvrix {

enum class JobKind { Backup, Apply, Clock, Histories };

struct JobTimeouts {
  ReplyGatedRun::Millis read;   // a read request's answer
  ReplyGatedRun::Millis write;  // a setting's or the clock's "GO"
};

class UnitJob : public GatedSequence {
 public:
  // `file`: the settings to apply (Apply), or to read over (the initial
  // values, for the others). `sameUnitCheck`: ask the unit's
  // MAC address again before writing (RS-232C, where the cable may have
  // moved). `now`: the clock to set (Clock).
  UnitJob(JobKind kind, const DeviceSettings& file, JobTimeouts timeouts, bool serialLink, bool sameUnitCheck,
          const std::tm& now);

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
  const UnitComparison& Comparison() const { return comparison_; }
  JobKind Kind() const { return kind_; }

  // Once ended: whether the unit did all that was asked, and in a few words
  // what came of it ("変更なし", "3 件を変更、確認済み", "応答なし", ...).
  bool Succeeded() const { return succeeded_; }
  const std::string& Result() const { return result_; }

 private:
  GatedSequence* Phase();
  const GatedSequence* Phase() const { return const_cast<UnitJob*>(this)->Phase(); }
  // The phase just ended: starts the next one, or ends the job with its result.
  void PhaseEnded();
  void End(bool succeeded, std::string result);

  JobKind kind_;
  DeviceSettings file_;  // what the unit is compared with: the file to apply, or the initial values
  JobTimeouts timeouts_;
  bool serialLink_;
  bool sameUnitCheck_;
  std::tm now_;
  UnitComparison comparison_;
  RequestList requests_;
  int phase_ = 0;  // 1.., 0 before the start and after the end
  bool cancelledJob_ = false;
  bool succeeded_ = false;
  std::string result_;
  int stepsBefore_ = 0;  // the steps of the phases ended
  int historyUnanswered_ = 0;
  int written_ = 0;  // the settings an apply writes
};

}  // namespace kelvrix
