#include "sim/simulated_bus.h"

#include <charconv>

#include "model/digits.h"

namespace kelvrix::sim {

SimMode SimMode::Parse(std::string_view text) {
  SimMode mode;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);

    if (line == "normal") {
      mode = {};
    } else if (line == "rs485") {
      mode.rs485 = true;
    } else if (line == "silent") {
      mode.silent = true;
    } else if (line == "cut") {
      mode.cut = true;
    } else if (line.starts_with("silent from ")) {
      std::from_chars(line.data() + 12, line.data() + line.size(), mode.silentFromFrame);
    } else if (line.starts_with("silent unit ")) {
      std::from_chars(line.data() + 12, line.data() + line.size(), mode.silentUnit);
    } else if (line.starts_with("reply ")) {
      std::string_view reply = line.substr(6);
      const std::size_t from = reply.find(" from ");
      mode.replyFromFrame = 0;
      if (from != std::string_view::npos) {
        std::from_chars(reply.data() + from + 6, reply.data() + reply.size(), mode.replyFromFrame);
        reply = reply.substr(0, from);
      }
      mode.reply = reply;
    } else if (line.starts_with("alarms ")) {
      std::from_chars(line.data() + 7, line.data() + line.size(), mode.alarms);
    } else if (line.starts_with("video-losses ")) {
      std::from_chars(line.data() + 13, line.data() + line.size(), mode.videoLosses);
    } else if (line.starts_with("delay ")) {
      std::from_chars(line.data() + 6, line.data() + line.size(), mode.delayMs);
    } else if (line.starts_with("noise ")) {
      std::from_chars(line.data() + 6, line.data() + line.size(), mode.noise);
    } else if (line.starts_with("repeat ")) {
      const char* end = line.data() + line.size();
      auto [next, error] = std::from_chars(line.data() + 7, end, mode.repeat);
      if (error == std::errc() && next < end && *next == ',') std::from_chars(next + 1, end, mode.repeatGapMs);
    } else if (line.starts_with("split ")) {
      mode.split.clear();
      std::string_view sizes = line.substr(6);
      while (!sizes.empty()) {
        std::size_t size = 0;
        auto [next, error] = std::from_chars(sizes.data(), sizes.data() + sizes.size(), size);
        if (error != std::errc() || size == 0) break;
        mode.split.push_back(size);
        sizes.remove_prefix(static_cast<std::size_t>(next - sizes.data()));
        if (!sizes.empty() && sizes.front() == ',') sizes.remove_prefix(1);
      }
    }
  }
  return mode;
}

SimulatedBus::SimulatedBus(bool rs485, const std::vector<int>& addresses) : rs485_(rs485) {
  if (!rs485) {
    units_.emplace(0, SimulatedUnit());
    return;
  }
  for (int address : addresses) units_.emplace(address, SimulatedUnit());
}

namespace {

// Answers sent at once under one address: after the address they share,
// their characters interleave into one garbled line.
std::string Collided(std::string_view address, const std::vector<std::string>& answers) {
  std::string line(address);
  for (std::size_t i = 0;; ++i) {
    bool any = false;
    for (const std::string& answer : answers) {
      if (i < answer.size() && answer[i] != '\r' && answer[i] != '\n') {
        line += answer[i];
        any = true;
      }
    }
    if (!any) break;
  }
  return line + "\r\n";
}

}  // namespace

std::optional<std::string> SimulatedBus::AnswerFrom(SimulatedUnit& unit, std::string_view command,
                                                    const SimMode& mode) {
  unit.SeeEvents(mode.alarms, mode.videoLosses);
  std::string answer = unit.Answer(command);
  if (mode.silent) return std::nullopt;
  if (!mode.reply.empty()) answer = mode.reply + "\r\n";
  return answer;
}

std::optional<std::string> SimulatedBus::Handle(std::string_view frame, const SimMode& mode) {
  if (!rs485_) return AnswerFrom(units_.begin()->second, frame, mode);

  if (frame.size() < 2) return std::nullopt;
  const std::string_view address = frame.substr(0, 2);
  const std::string_view command = frame.substr(2);
  if (address == "FF") {
    for (auto& [number, unit] : units_) unit.Answer(command);
    return std::nullopt;
  }
  if (!IsDigits(address, 0, 2)) return std::nullopt;
  std::vector<std::string> answers;
  const auto [first, last] = units_.equal_range(ParseTwoDigits(address.data()));
  for (auto it = first; it != last; ++it) {
    if (auto answer = AnswerFrom(it->second, command, mode)) answers.push_back(*answer);
  }
  if (answers.empty()) return std::nullopt;
  return answers.size() == 1 ? std::string(address) + answers.front() : Collided(address, answers);
}

}  // namespace kelvrix::sim
