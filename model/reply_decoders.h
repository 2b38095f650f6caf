// The unit's reply lines, decoded back into the settings mirror.
//
// kReplyDecoders lists one row per reply prefix in the order the dispatcher
// tries them: the first row whose prefix begins the line wins, so a prefix
// that begins another ("CT" and "CTDSO", "VL" and "VLD") stands after it.
// A decoder reads the line without its line end (ReplyValue), so CR and LF
// are never taken for characters of a value. It stores nothing from a line
// that is shorter than its layout, holds a non-digit where a digit belongs,
// a line end inside a text, or names a channel, history entry or selection
// outside the model; it returns whether it stored the value.
#pragma once

#include <span>
#include <string_view>

#include "model/device_settings.h"

namespace kelvrix {

struct ReplyDecoder {
  std::string_view prefix;
  bool (*decode)(std::string_view line, DeviceSettings& settings);
};

std::span<const ReplyDecoder> ReplyDecoders();

// The line up to its first LF, without that LF and a CR before it: what a
// decoder reads ("VAB03120\r\n" -> "VAB03120").
std::string_view ReplyValue(std::string_view line);

// The first row whose prefix begins `line`, or nullptr.
const ReplyDecoder* FindReplyDecoder(std::string_view line);

// The prefix of the firmware version reply.
inline constexpr std::string_view kVersionPrefix = "Ver.";

// Whether `reply` answers the read request `request`: the unit answers a read
// in the form of the set command ("RVAB03" with "VAB03120"), and the version
// request with "Ver.".
bool AnswersReadRequest(std::string_view request, std::string_view reply);

}  // namespace kelvrix
