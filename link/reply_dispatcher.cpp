#include "link/reply_dispatcher.h"

#include <algorithm>
#include <array>

#include "model/reply_decoders.h"

namespace kelvrix {

namespace {

enum class Variant { Serial, Socket };

constexpr std::string_view kGoLine = "GO\r\n";
constexpr std::string_view kMenuLine = "MENU\r\n";

struct ErrorReply {
  std::string_view code;
  std::string_view serialText;
  std::string_view socketText;
};

constexpr std::array<ErrorReply, 4> kErrorReplies = {{
    {"E0", "Framing Error", "Socket Framing"},
    {"E1", "Parity Error", "Socket Framing"},
    {"E2", "Over Run Error", "Socket Over run"},
    {"E3", "Command Error", "Socket Command"},
}};

void ReportSuccess(Panel& panel, Variant variant) {
  if (panel.link.batchStep != 0) return;
  if (variant == Variant::Serial) {
    panel.link.successPending = 1;  // shown by the next main-timer tick
  } else {
    panel.messages.ShowSuccess("Socket ＯＫ");
  }
}

void SerialTail(Panel& panel, std::string_view line) {
  if (line == "GN\r\n") {
    panel.link.replyError = 1;
    panel.messages.ShowError("Mode Error");
    return;
  }
  for (const ErrorReply& error : kErrorReplies) {
    if (line.size() == 4 && line.starts_with(error.code) && line.ends_with("\r\n")) {
      panel.link.replyError = 1;
      panel.messages.ShowError(error.serialText);
      return;
    }
  }
}

void SocketTail(Panel& panel, std::string_view line) {
  if (line.starts_with("MENU")) {
    panel.messages.ShowError("Socket Menu Display");
    return;
  }
  // Anything else is no answer to the command: a run against a unit that
  // answers garbage must not count its steps as done. "GN" is the unit's
  // refusal, an error like the serial line's "Mode Error".
  panel.link.replyError = 1;
  if (line.starts_with("GN")) {
    panel.messages.ShowError("Socket mode difference");
    return;
  }
  for (const ErrorReply& error : kErrorReplies) {
    if (line.starts_with(error.code)) {
      panel.messages.ShowError(error.socketText);
      return;
    }
  }
}

// The prefix table, walked from the top; the first row that matches decides.
void Dispatch(Panel& panel, std::string_view line, Variant variant) {
  panel.link.replyError = 0;
  const bool isGo = variant == Variant::Serial ? line == kGoLine : line.starts_with("GO");
  if (isGo) {
    ReportSuccess(panel, variant);
    return;
  }
  if (line == kMenuLine) {
    panel.messages.ShowError("Menu Display");
    return;
  }
  const std::string_view value = ReplyValue(line);
  if (const ReplyDecoder* decoder = FindReplyDecoder(value)) {
    const bool stored = decoder->decode(value, panel.settings);
    if (stored && decoder->prefix == kVersionPrefix && variant == Variant::Serial) {
      panel.link.successPending = 1;
    }
    return;
  }
  if (variant == Variant::Serial) {
    SerialTail(panel, line);
  } else {
    SocketTail(panel, line);
  }
}

}  // namespace

std::string_view SerialReplyAddress(const LinkState& link, std::string_view line) {
  return link.rsControl == kRs485 ? line.substr(0, 2) : std::string_view();
}

std::string_view SerialReplyBody(const LinkState& link, std::string_view line) {
  line = line.substr(0, kMaxSerialLineLength);
  line.remove_prefix(SerialReplyAddress(link, line).size());
  return line;
}

void DispatchSerialReply(Panel& panel, std::string_view line) {
  panel.link.replyWaitTicks = 0;
  panel.link.replyPending = 0;
  Dispatch(panel, SerialReplyBody(panel.link, line), Variant::Serial);
}

std::string DispatchSocketReply(Panel& panel, std::string_view received, int receiveLength) {
  LinkState& link = panel.link;
  const std::size_t length = receiveLength > 0 ? static_cast<std::size_t>(receiveLength) : 0;
  std::string_view data = received.substr(0, std::min(length, kMaxReceiveLength));
  data = data.substr(0, data.find('\0'));  // the receive is a C string to the line

  if (link.socketLineOpen == 0) link.socketLine.clear();
  const std::size_t room = kMaxSocketLineLength - std::min(link.socketLine.size(), kMaxSocketLineLength);
  link.socketLine.append(data.substr(0, room));  // the rest of an over-long line is dropped

  // Only the last byte of a receive tells whether the line is complete.
  const bool complete = length > 0 && length <= received.size() && received[length - 1] == '\n';
  link.socketLineOpen = complete ? 0 : 1;
  if (!complete) return {};

  std::string line = std::move(link.socketLine);
  link.socketLine.clear();
  Dispatch(panel, line, Variant::Socket);
  return line;
}

}  // namespace kelvrix
