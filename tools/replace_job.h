// Replacing a failed unit: the unit now on the link becomes the one a
// backup was made of, in steps, each verified before the next begins:
//   the backup's network values, written with the commands of
//   "プロトコルの設定" and read back (on a serial line; over TCP/IP, where
//   the unit moves to the backup's address as it takes them, written last
//   and only when they differ);
//   the settings: compared with the backup's, what differs written and read back;
//   from the file, what no comparison writes: what the unit cannot report
//   (VL, VLD, VLBC, the screen switch) and the screen size (checked by the
//   last step's read);
//   the clock, from the computer's time read just before;
//   a new backup of the unit as it now is.
// A step that fails ends the job, its words naming the step.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/request_list.h"
#include "tools/unit_files.h"
#include "tools/unit_job.h"

namespace kelvrix {

// What a replacement starts from: the backup it restores, and what the
// unit now on the link said of itself.
struct Replacement {
  DeviceSettings backup{};     // its settings, network values and old MAC address
  bool networkKnown = false;   // its network file was there
  std::string newMac, version;  // the new unit's, as it answered
  bool networkDiffers = false;  // the unit's network values are not the backup's
};

class ReplaceJob : public RunJob {
 public:
  enum class Step { Network, Settings, Unreported, Clock, Backup };
  // `serialLink`: the network values go first, by the serial commands; over
  // TCP/IP last, and only when they differ from the unit's.
  ReplaceJob(Replacement replacement, JobTimeouts timeouts, bool serialLink, LocalClock localTime);

  void Start();
  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;
  void NoReply() override;
  void Cancel() override;
  bool Running() const override { return step_ < steps_.size() && !ended_; }
  Millis Deadline() const override;
  int StepsDone() const override;
  int StepCount() const override;
  DeviceSettings* Decodes() override;

  UnitOutcome Outcome() const override { return outcome_; }
  const std::string& Result() const override { return result_; }
  // The unit as the last step read it, for the new backup.
  const DeviceSettings& Model() const override { return backup_.Model(); }
  const Replacement& Of() const { return replacement_; }
  // Whether its last read, the new backup's, read the unit whole.
  bool BackedUp() const { return backup_.Outcome() == UnitOutcome::Done; }

 private:
  GatedSequence& Sequence(Step step);
  const GatedSequence& Sequence(Step step) const;
  void StartStep();
  // The step just ended: false when it failed, the job then ended.
  bool StepSucceeded();
  void End(UnitOutcome outcome, std::string words);

  Replacement replacement_;
  JobTimeouts timeouts_;
  bool serialLink_;
  std::vector<Step> steps_;
  std::size_t step_ = 0;
  bool ended_ = false;
  bool cancelled_ = false;
  RequestList network_, unreported_;
  DeviceSettings networkRead_{}, scratch_{};
  UnitJob settings_, clock_, backup_;
  int verified_ = 0;  // the settings the apply wrote and verified
  int stepsBefore_ = 0;
  UnitOutcome outcome_ = UnitOutcome::Cancelled;
  std::string result_;
};

// What a replacement asks the unit now on the link first, sending nothing
// else: its MAC address and version, and over TCP/IP its network values.
std::vector<std::string> ReplacementQuestions(bool serialLink);

// What a replacement is about to do, for the question asked before it,
// or why it will not (then nothing is written).
struct ReplacePlan {
  UnitOutcome refusal = UnitOutcome::Done;  // Done: it may go ahead
  std::string words;                        // the refusal's message
  Replacement replacement;
  std::string file, date;  // the backup's settings file, and the date its name carries
  // "05 のユニットを交換します。…": the facts and what will be written; the
  // question is they and "交換しますか？".
  std::string Facts(const std::string& label, bool serialLink) const;
};
// The newest backup of `unit` (by its address or IP) among a folder's
// `names`, read with `read`, against what the unit now on the link answered
// (`now`: decoded from the answers to ReplacementQuestions).
ReplacePlan PlanReplacement(const std::vector<std::string>& names, const UnitName& unit,
                            const std::function<std::optional<std::string>(const std::string&)>& read,
                            const DeviceSettings& now, bool serialLink);

// The MAC address a backup's file name carries ("05_02-00-00-00-01-05_20261210.dat"); empty when none.
std::string MacInBackupName(std::string_view name);

// The words of a step, as a row names where a replacement stopped.
std::string_view ReplaceStepText(ReplaceJob::Step step);

// Whether the unit's network values differ from the backup's.
bool NetworkDiffers(const DeviceSettings& unit, const DeviceSettings& backup);

}  // namespace kelvrix
