// One tool sequence on one unit's connection: the bytes to send now, each
// request framed as the panel frames it, and each reply line decoded by the
// panel's dispatcher into the unit's model, then handed to the sequence.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/link_state.h"
#include "link/panel.h"
#include "link/result_messages.h"
#include "model/device_settings.h"
#include "tools/reply_gated_run.h"

namespace kelvrix {

struct UnitTarget {
  bool serial = true;
  int address = -1;  // RS-485 address 0..31; -1 RS-232C (or TCP/IP)
};

class SequenceDriver {
 public:
  using Millis = ReplyGatedRun::Millis;

  SequenceDriver(GatedSequence& sequence, const UnitTarget& target, DeviceSettings& model);
  SequenceDriver(const SequenceDriver&) = delete;
  SequenceDriver& operator=(const SequenceDriver&) = delete;

  // The next request's bytes, if one goes out now; a request that cannot be
  // framed gets no answer, and the one after it is asked.
  std::optional<std::string> Next(Millis now);
  // One whole line the unit sent, ending in LF.
  void ReceivedLine(std::string_view line);
  GatedSequence& Sequence() { return sequence_; }

 private:
  std::optional<std::string> Frame(const ToolRequest& request);

  GatedSequence& sequence_;
  UnitTarget target_;
  DeviceSettings& model_;
  LinkState state_;
  NotedFailures failures_;
  NoTransport transport_;
};

}  // namespace kelvrix
