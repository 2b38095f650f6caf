#include "link/traffic_recorder_win.h"

namespace kelvrix {

int32_t LocalMillisOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

void TrafficRecorder::Add(int32_t millisOfDay, TrafficKind kind, std::string link, std::string bytes) {
  log_.Add(millisOfDay, kind, std::move(link), std::move(bytes));
  if (!monitor_ || told_) return;
  told_ = true;
  PostMessageW(monitor_, MsgTrafficAdded, 0, 0);
}

void TrafficRecorder::Sent(std::string link, std::string_view bytes) {
  Add(LocalMillisOfDay(), TrafficKind::Sent, std::move(link), std::string(bytes));
}

void TrafficRecorder::Received(std::string link, std::string_view bytes, int32_t millisOfDay) {
  lastReply_ = GetTickCount64();
  Add(millisOfDay, TrafficKind::Received, std::move(link), std::string(bytes));
}

void TrafficRecorder::Event(std::string link, std::string_view text) {
  Add(LocalMillisOfDay(), TrafficKind::Event, std::move(link), std::string(text));
}

std::optional<uint64_t> TrafficRecorder::SinceLastReply() const {
  if (lastReply_ == 0) return std::nullopt;
  return GetTickCount64() - lastReply_;
}

void RecordedResults::ShowError(std::string_view text) {
  traffic_.Event(linkName_(), text);
  boxes_.ShowError(text);
}

void RecordedResults::ShowWarning(std::string_view text) {
  traffic_.Event(linkName_(), text);
  boxes_.ShowWarning(text);
}

void RecordedResults::ShowLinkError(std::string_view text) {
  traffic_.Event(linkName_(), text);
  boxes_.ShowLinkError(text);
}

}  // namespace kelvrix
