// The unit's reply lines, decoded back into the settings mirror.
//
// kReplyDecoders lists one row per reply prefix in the order the dispatcher
// tries them: the first row whose prefix begins the line wins, so a prefix
// that begins another ("CT" and "CTDSO", "VL" and "VLD") stands after it.
// A decoder stores nothing from a line that is shorter than its layout, holds
// a non-digit where a digit belongs, or names a channel, history entry or
// selection outside the model; it returns whether it stored the value.
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

// The first row whose prefix begins `line`, or nullptr.
const ReplyDecoder* FindReplyDecoder(std::string_view line);

// The prefix of the firmware version reply.
inline constexpr std::string_view kVersionPrefix = "Ver.";

}  // namespace kelvrix
