// The jobs of a serial line's units, one unit after the other, as the one
// sequence a tool's dialog or the command-line tool drives: each request
// goes to its unit's RS-485 address (or, at -1, to the one unit on
// RS-232C), and a reply counts, decoded into that unit's own model, only
// when it comes from that address; a late answer of the unit before says
// nothing of the next.
#pragma once

#include <cstddef>
#include <vector>

#include "tools/sequence_set.h"
#include "tools/unit_job.h"

namespace kelvrix {

class JobsInTurn : public GatedSequence {
 public:
  // `jobs` already started, one per address; they must outlive the run.
  void Start(std::vector<UnitJob*> jobs, std::vector<int> addresses);

  std::optional<ToolRequest> Next(Millis now) override;
  void Replied(std::string_view line, std::string_view address, std::string_view failure) override;
  void NoReply() override;
  void Cancel() override;
  bool Running() const override { return set_.Running(); }
  Millis Deadline() const override { return set_.Deadline().value_or(Millis(0)); }
  int StepsDone() const override { return set_.Progress().first; }
  int StepCount() const override { return set_.Progress().second; }

  // The units' jobs: which ended since the caller last asked, for their rows and files.
  SequenceSet& Set() { return set_; }

 private:
  std::vector<UnitJob*> jobs_;
  std::vector<int> addresses_;
  SequenceSet set_;
};

}  // namespace kelvrix
