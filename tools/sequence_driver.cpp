#include "tools/sequence_driver.h"

#include <algorithm>

#include "link/framing.h"
#include "link/reply_dispatcher.h"
#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix {

SequenceDriver::SequenceDriver(GatedSequence& sequence, const UnitTarget& target, DeviceSettings& model)
    : sequence_(sequence), target_(target), model_(model) {
  state_.rsControl = target.serial && target.address >= 0 ? kRs485 : kRs232c;
}

// On RS-485 with the address the request names, or the target's.
std::optional<std::string> SequenceDriver::Frame(const ToolRequest& request) {
  if (!target_.serial) {
    const auto line = FrameSocketCommand(request.line);
    return line ? std::optional<std::string>(*line) : std::nullopt;
  }
  // A scan names each address itself: the bus is RS-485 without a target.
  if (request.address >= 0) state_.rsControl = kRs485;
  const int address = request.address >= 0 ? request.address : target_.address;
  const auto frame = FrameSerialCommand(request.line, address >= 0 ? kRs485 : kRs232c, std::max(address, 0));
  return frame ? std::optional<std::string>(frame->bytes) : std::nullopt;
}

std::optional<std::string> SequenceDriver::Next(Millis now) {
  while (const auto request = sequence_.Next(now)) {
    if (auto bytes = Frame(*request)) return bytes;
    sequence_.NoReply();
  }
  return std::nullopt;
}

void SequenceDriver::ReceivedLine(std::string_view line) {
  // On RS-485 a line from another address is another unit's, such as a
  // late answer of the unit asked before: it says nothing of this one.
  if (target_.address >= 0 && SerialReplyAddress(state_, line) != PaddedDecimal(target_.address, 2)) return;
  failures_.last.clear();
  DeviceSettings* decodes = sequence_.Decodes();
  Panel panel{decodes ? *decodes : model_, state_, failures_, transport_};
  DispatchSerialReply(panel, line);
  sequence_.Replied(ReplyValue(SerialReplyBody(state_, line)), SerialReplyAddress(state_, line), failures_.last);
}

}  // namespace kelvrix
