// Running one tool sequence against one unit (or a bus of them) over a link
// of the command-line tool: each request framed as the panel frames it, each
// reply line decoded by the panel's dispatcher and handed to the sequence.
// Every wait is bounded by the sequence's own deadline.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "model/device_settings.h"
#include "tools/reply_gated_run.h"

namespace kelvrix::cli {

using Millis = std::chrono::milliseconds;

// Bytes to and from a unit, on the caller's clock.
class CliLink {
 public:
  virtual ~CliLink() = default;
  // False when the link broke.
  virtual bool Write(std::string_view bytes) = 0;
  // Waits up to `wait` for bytes and puts what came into `bytes` (nothing
  // on a time-out). False when the link broke.
  virtual bool Read(Millis wait, std::string& bytes) = 0;
  virtual Millis Now() = 0;
  // How far the sequence has come, after each request: for a terminal.
  virtual void Progress(int /*done*/, int /*total*/) {}
};

struct CliTarget {
  bool serial = true;
  int address = -1;  // RS-485 address 0..31; -1 RS-232C (or TCP/IP)
};

// Runs `sequence`, already started, to its end; replies decode into
// `model`. False when the link broke (the sequence is then cancelled).
bool RunSequence(GatedSequence& sequence, CliLink& link, const CliTarget& target, DeviceSettings& model);

}  // namespace kelvrix::cli
