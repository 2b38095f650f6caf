// The program's record of the link's traffic (a TrafficLog), and the one
// window told of each new entry: the traffic monitor, when it is open.
//
// Recording costs the link an entry in the ring and, at most once until the
// monitor has caught up, one posted message.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "link/result_messages.h"
#include "link/traffic_log.h"

namespace kelvrix {

// Posted to the monitor when entries were added since it last looked.
inline constexpr UINT MsgTrafficAdded = WM_APP + 2;

// The local time now, in milliseconds since midnight.
int32_t LocalMillisOfDay();

class TrafficRecorder : public TrafficSink {
 public:
  void Sent(std::string link, std::string_view bytes) override;
  // `millisOfDay`: when the bytes came, which may be before they were handled.
  void Received(std::string link, std::string_view bytes, int32_t millisOfDay);
  void ReceivedNow(std::string link, std::string_view bytes) override {
    Received(std::move(link), bytes, LocalMillisOfDay());
  }
  void Event(std::string link, std::string_view text) override;
  void Clear() { log_.Clear(); }

  const TrafficLog& Log() const { return log_; }
  // Milliseconds since the last line received; nothing before the first.
  std::optional<uint64_t> SinceLastReply() const;

  void SetMonitor(HWND monitor) { monitor_ = monitor; }
  // The monitor has looked: the next entry tells it again.
  void Seen() { told_ = false; }

 private:
  void Add(int32_t millisOfDay, TrafficKind kind, std::string link, std::string bytes);

  TrafficLog log_;
  HWND monitor_ = nullptr;
  bool told_ = false;
  ULONGLONG lastReply_ = 0;
};

// Result boxes that also go into the record: every error and warning the
// operator is shown ("No Connect", "Command Error", "Miss! File Open", ...)
// is an event of the link named by `linkName`.
class RecordedResults : public ResultMessages {
 public:
  RecordedResults(ResultMessages& boxes, TrafficRecorder& traffic, std::string (*linkName)())
      : boxes_(boxes), traffic_(traffic), linkName_(linkName) {}
  void ShowSuccess(std::string_view text) override { boxes_.ShowSuccess(text); }
  void ShowError(std::string_view text) override;
  void ShowWarning(std::string_view text) override;
  void ShowLinkError(std::string_view text) override;
  bool Showing() const override { return boxes_.Showing(); }

 private:
  ResultMessages& boxes_;
  TrafficRecorder& traffic_;
  std::string (*linkName_)();
};

}  // namespace kelvrix
