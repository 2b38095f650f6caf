// What crossed the link, for the traffic monitor: every frame sent, every
// line received and the link's events (the port opened or missing, sockets
// connected, closed or refused, "No Connect", each error reply), in a ring of
// the last 10,000 entries kept in memory only: the program writes no log file
// by itself.
//
// Everything is added on the GUI thread; a serial line carries the time the
// reader took it, so an entry's time is when it crossed the link, not when a
// box let it through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.h"

namespace kelvrix {

inline constexpr std::size_t kTrafficCapacity = 10000;

enum class TrafficKind { Sent, Received, Event };

struct TrafficEntry {
  uint64_t number;       // 1, 2, ... in the order added since start-up
  int32_t millisOfDay;   // local time: 0 .. 86,399,999
  TrafficKind kind;
  std::string link;      // "COM1", "COM1 05", "127.0.0.2"
  std::string bytes;     // as they crossed; an event's text

  bool operator==(const TrafficEntry&) const = default;
};

class TrafficLog {
 public:
  TrafficLog() { ring_.reserve(kTrafficCapacity); }

  void Add(int32_t millisOfDay, TrafficKind kind, std::string link, std::string bytes);
  void Clear() {
    ring_.clear();
    oldest_ = 0;
  }

  std::size_t Size() const { return ring_.size(); }
  // 0 is the oldest entry kept.
  const TrafficEntry& At(std::size_t index) const { return ring_[(oldest_ + index) % ring_.size()]; }

 private:
  std::vector<TrafficEntry> ring_;
  std::size_t oldest_ = 0;  // where the oldest sits once the ring is full
  uint64_t added_ = 0;
};

// CR, LF, backslash and bytes outside printable ASCII escaped ("\r", "\n",
// "\\", "\xDF"), so that a garbled line shows as it came.
std::string EscapedBytes(std::string_view bytes);
// "09:05:07.123"
std::string TimeOfDay(int32_t millisOfDay);
// "→", "←", "●"
std::string_view DirectionMark(TrafficKind kind);
// One line of text: number, time, direction, link and bytes, tab-separated
// by the CSV writer's rules (a cell with a quote is quoted).
std::string FormatEntry(const TrafficEntry& entry);

// Where the link's parts record what passes: the program's TrafficRecorder.
class TrafficSink {
 public:
  virtual ~TrafficSink() = default;
  virtual void Sent(std::string link, std::string_view bytes) = 0;
  // Bytes that came just now.
  virtual void ReceivedNow(std::string link, std::string_view bytes) = 0;
  virtual void Event(std::string link, std::string_view text) = 0;
};

// "COM1", or on RS-485 "COM1 05" with the address a frame or reply carries.
std::string SerialLinkName(const LinkState& link, std::string_view frame);
// The unit the socket in use reaches ("192.168.1.3"); empty when none.
std::string SocketLinkName(const LinkState& link);
// The link as it is now, without a frame: "COM1", or the socket's unit.
std::string CurrentLinkName(const LinkState& link);

// What the monitor's header says of the link beyond the link state.
struct LinkStatus {
  bool portOpen = false;                  // the COM port opened at start-up
  std::string_view port;                  // the program's TCP port ("09004")
  std::optional<uint64_t> sinceReplyMs;   // since the last line received
};
// "シリアル COM1  RS-485 アドレス 05  ポート: 開いています  最後の応答: 1.2 秒前"
std::string LinkStatusLine(const LinkState& link, const LinkStatus& status);

}  // namespace kelvrix
