#include "cli/cli_session.h"

#include <algorithm>
#include <optional>

#include "link/framing.h"
#include "link/panel.h"
#include "link/reply_dispatcher.h"
#include "link/serial_line_assembler.h"
#include "model/reply_decoders.h"

namespace kelvrix::cli {

namespace {

// The bytes of a request on the link: on RS-485 with the address the
// request names, or the target's.
std::optional<std::string> Frame(const ToolRequest& request, const CliTarget& target) {
  if (!target.serial) {
    const auto line = FrameSocketCommand(request.line);
    return line ? std::optional<std::string>(*line) : std::nullopt;
  }
  const int address = request.address >= 0 ? request.address : target.address;
  const auto frame = FrameSerialCommand(request.line, address >= 0 ? kRs485 : kRs232c, std::max(address, 0));
  return frame ? std::optional<std::string>(frame->bytes) : std::nullopt;
}

}  // namespace

bool RunSequence(GatedSequence& sequence, CliLink& link, const CliTarget& target, DeviceSettings& model) {
  LinkState state;
  state.rsControl = target.serial && target.address >= 0 ? kRs485 : kRs232c;
  NotedFailures failures;
  NoTransport transport;
  Panel panel{model, state, failures, transport};
  SerialLineAssembler lines;
  while (sequence.Running()) {
    if (const auto request = sequence.Next(link.Now())) {
      // A scan names each address itself: the bus is RS-485 without a target.
      if (request->address >= 0) state.rsControl = kRs485;
      const auto bytes = Frame(*request, target);
      if (!bytes) {
        sequence.NoReply();
      } else if (!link.Write(*bytes)) {
        sequence.Cancel();
        return false;
      }
      link.Progress(sequence.StepsDone(), sequence.StepCount());
      continue;
    }
    if (!sequence.Running()) break;
    const Millis wait = std::max(Millis(0), sequence.Deadline() - link.Now());
    std::string bytes;
    if (!link.Read(wait, bytes)) {
      sequence.Cancel();
      return false;
    }
    for (const std::string& line : lines.AddRead(bytes)) {
      failures.last.clear();
      DispatchSerialReply(panel, line);
      sequence.Replied(ReplyValue(SerialReplyBody(state, line)), SerialReplyAddress(state, line), failures.last);
    }
  }
  return true;
}

}  // namespace kelvrix::cli
