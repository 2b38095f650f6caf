// How a command line goes on the wire, and the serial reply time-out.
//
// On RS-485 every serial frame carries the unit's two-digit address ("00".."31")
// or "FF" for a broadcast, which no unit answers. RS-232C and TCP/IP frames are
// the bare line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_state.h"

namespace kelvrix {

// A line with its address and terminator must fit the sender's 600 bytes.
inline constexpr std::size_t kMaxCommandLength = 597;

// The reply time-out fires on the first main-timer tick (300 ms) that finds
// more than this many ticks counted: the 27th after the send, about 8 s.
inline constexpr int32_t kReplyWaitTicks = 25;

struct SerialFrame {
  std::string bytes;
  bool awaitsReply;  // false for a broadcast
};

// Empty when the line is too long to send.
std::optional<SerialFrame> FrameSerialCommand(std::string_view command, int32_t rsControl,
                                              int32_t slaveAddressIndex);
std::optional<std::string_view> FrameSocketCommand(std::string_view command);

// Counts one main-timer tick of the serial reply wait. True exactly once per
// unanswered frame, on the 27th tick: the caller then shows "No Connect".
bool CountReplyWaitTick(LinkState& link);

}  // namespace kelvrix
