// One tool sequence on one unit's connection, for whoever owns the
// connection (the command-line tool's wait, the unit list's socket
// notifications): the bytes to send now, each request framed as the panel
// frames it, and each reply line decoded by the panel's dispatcher into the
// unit's model, then handed to the sequence.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/link_state.h"
#include "link/panel.h"
#include "link/result_messages.h"
#include "link/serial_line_assembler.h"
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

  // The next request's bytes, if one goes out now.
  std::optional<std::string> Next(Millis now);
  // A request's bytes on this unit's link; nothing when it cannot be framed.
  std::optional<std::string> Frame(const ToolRequest& request);
  void Received(std::string_view bytes);
  bool Running() const { return sequence_.Running(); }
  Millis Deadline() const { return sequence_.Deadline(); }

 private:
  GatedSequence& sequence_;
  UnitTarget target_;
  LinkState state_;
  NotedFailures failures_;
  NoTransport transport_;
  Panel panel_;
  SerialLineAssembler lines_;
};

}  // namespace kelvrix
