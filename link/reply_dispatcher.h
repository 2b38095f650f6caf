// Recognises each reply line by its leading characters and either decodes it
// into the settings mirror or tells the operator the result.
//
// Both variants walk one prefix table: "GO", "MENU", then the decoders in
// their order, then a status and error tail that differs by variant. The
// serial variant strips the RS-485 address and compares "GO" and the error
// codes exactly; the socket variant assembles a line across receives and
// compares two characters. Both run on the GUI thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/panel.h"

namespace kelvrix {

// Lines longer than this are cut to it before they are dispatched.
inline constexpr std::size_t kMaxSerialLineLength = 599;
inline constexpr std::size_t kMaxReceiveLength = 599;
inline constexpr std::size_t kMaxSocketLineLength = 119;

// One line as the serial reader assembled it, ending in LF.
void DispatchSerialReply(Panel& panel, std::string_view line);
// What of such a line the dispatcher reads: at most its first 599
// characters, without the answering unit's address on RS-485.
std::string_view SerialReplyBody(const LinkState& link, std::string_view line);
// That address ("05"), empty off RS-485.
std::string_view SerialReplyAddress(const LinkState& link, std::string_view line);

// The bytes of one socket receive; `receiveLength` is what recv returned
// (0 or less when it returned nothing). Dispatches once the assembled line
// ends in LF, and returns that line; empty while it is still open.
std::string DispatchSocketReply(Panel& panel, std::string_view received, int receiveLength);

}  // namespace kelvrix
