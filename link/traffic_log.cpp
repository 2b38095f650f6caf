#include "link/traffic_log.h"

#include "model/csv_text.h"
#include "model/digits.h"

namespace kelvrix {

void TrafficLog::Add(int32_t millisOfDay, TrafficKind kind, std::string link, std::string bytes) {
  TrafficEntry entry{++added_, millisOfDay, kind, std::move(link), std::move(bytes)};
  if (ring_.size() < kTrafficCapacity) {
    ring_.push_back(std::move(entry));
    return;
  }
  ring_[oldest_] = std::move(entry);
  oldest_ = (oldest_ + 1) % kTrafficCapacity;
}

std::string EscapedBytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() + 4);
  for (const unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 0xF];
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string TimeOfDay(int32_t millisOfDay) {
  const int32_t seconds = millisOfDay / 1000;
  return PaddedDecimal(seconds / 3600 % 24, 2) + ":" + PaddedDecimal(seconds / 60 % 60, 2) + ":" +
         PaddedDecimal(seconds % 60, 2) + "." + PaddedDecimal(millisOfDay % 1000, 3);
}

std::string_view DirectionMark(TrafficKind kind) {
  switch (kind) {
    case TrafficKind::Sent: return "→";
    case TrafficKind::Received: return "←";
    case TrafficKind::Event: return "●";
  }
  return {};
}

std::string FormatEntry(const TrafficEntry& entry) {
  std::string bytes = entry.kind == TrafficKind::Event ? entry.bytes : EscapedBytes(entry.bytes);
  std::string row = CsvRow({std::to_string(entry.number), TimeOfDay(entry.millisOfDay),
                            std::string(DirectionMark(entry.kind)), entry.link, std::move(bytes)},
                           '\t');
  row.pop_back();  // the caller ends the line as it needs
  return row;
}

std::string SerialLinkName(const LinkState& link, std::string_view frame) {
  std::string name = "COM" + std::to_string(link.comPort + 1);
  if (link.rsControl == kRs485) {
    name += ' ';
    name += EscapedBytes(frame.substr(0, 2));
  }
  return name;
}

std::string SocketLinkName(const LinkState& link) {
  if (link.clientServerMode == 1) {
    return ChosenPeerAddress(link.connections, link.clientServerMode, link.chosenRow, link.chosenSerial);
  }
  const int chosen = link.selectedConnection;
  if (chosen < 0 || chosen >= static_cast<int>(link.hostList.size())) return {};
  return DottedAddress(link.hostList[static_cast<std::size_t>(chosen)]);
}

std::string CurrentLinkName(const LinkState& link) {
  return link.linkInterface == kSocketInterface ? SocketLinkName(link) : "COM" + std::to_string(link.comPort + 1);
}

std::string LinkStatusLine(const LinkState& link, const LinkStatus& status) {
  std::string line;
  if (link.linkInterface == kSerialInterface) {
    line = "シリアル COM" + std::to_string(link.comPort + 1);
    if (link.rsControl == kRs485) {
      const int32_t address = link.slaveAddressIndex;
      line += "  RS-485 アドレス " + (address == kBroadcastAddressIndex ? std::string("Bloadcast") : PaddedDecimal(address, 2));
    } else {
      line += "  RS-232C";
    }
    line += status.portOpen ? "  ポート: 開いています" : "  ポート: 開いていません";
  } else if (link.clientServerMode == 1) {
    const std::string chosen = SocketLinkName(link);
    line = "TCP/IP サーバー ポート " + std::string(status.port) + "  接続中 " + std::to_string(link.connections.ListedRows().size()) +
           " 台  送信先: " + (chosen.empty() ? "なし" : chosen);
  } else {
    line = "TCP/IP クライアント " + SocketLinkName(link) + ":" + std::string(status.port) +
           (link.socketConnected == 1 ? "  接続: あり" : "  接続: なし");
  }
  if (!status.sinceReplyMs) return line + "  最後の応答: なし";
  const uint64_t tenths = *status.sinceReplyMs / 100;
  return line + "  最後の応答: " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " 秒前";
}

}  // namespace kelvrix
