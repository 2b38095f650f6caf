#include "link/framing.h"

#include "model/digits.h"

namespace kelvrix {

std::optional<SerialFrame> FrameSerialCommand(std::string_view command, int32_t rsControl,
                                              int32_t slaveAddressIndex) {
  if (command.size() > kMaxCommandLength) return std::nullopt;
  SerialFrame frame{{}, true};
  if (rsControl == kRs485) {
    if (slaveAddressIndex < 0) return std::nullopt;  // no unit chosen: send to none rather than all
    if (slaveAddressIndex >= kBroadcastAddressIndex) {
      frame.bytes = "FF";
      frame.awaitsReply = false;
    } else {
      frame.bytes.resize(2);
      FormatTwoDigits(slaveAddressIndex, frame.bytes.data());
    }
  }
  frame.bytes += command;
  return frame;
}

std::optional<std::string_view> FrameSocketCommand(std::string_view command) {
  if (command.size() > kMaxCommandLength) return std::nullopt;
  return command;
}

bool CountReplyWaitTick(LinkState& link) {
  if (link.replyPending.load() != 1) return false;
  if (link.replyWaitTicks.fetch_add(1) <= kReplyWaitTicks) return false;
  link.replyPending = 0;
  link.replyWaitTicks = 0;
  return true;
}

}  // namespace kelvrix
