#include "tools/history_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model/digits.h"
#include "model/unit_text.h"

namespace kelvrix {

namespace {

constexpr std::string_view kHeader = "kelvrix-watch\t1";
constexpr std::array<std::string_view, 2> kKinds = {"alarm", "video-loss"};

// An entry as the state keeps it, and as it sorts by the unit's clock:
// "26/12/10 12:00:00 03".
std::string Signature(const HistoryRecord& r) {
  auto two = [](int32_t value) { return PaddedDecimal(std::clamp(value, 0, 99), 2); };
  return two(r.year) + "/" + two(r.month) + "/" + two(r.day) + " " + two(r.hour) + ":" + two(r.minute) + ":" +
         two(r.second) + " " + two(r.channel);
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.emplace_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::optional<std::int64_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 18 || !IsDigits(text, 0, text.size())) return std::nullopt;
  return std::stoll(text);
}

std::optional<int> KindNamed(std::string_view name) {
  for (int kind = 0; kind < 2; ++kind) {
    if (kKinds[kind] == name) return kind;
  }
  return std::nullopt;
}

WatchLine LineOf(std::string_view kind, const std::string& unit, const std::string& mac, std::string detail = {}) {
  WatchLine line;
  line.kind = kind;
  line.unit = unit;
  line.mac = mac;
  line.detail = std::move(detail);
  return line;
}

// A Prometheus label value: backslash, quote and line end escaped.
std::string LabelValue(std::string_view text) {
  std::string value;
  for (const char c : ValidUtf8(text)) {
    if (c == '\\' || c == '"') value += '\\';
    value += c == '\n' ? 'n' : c;
  }
  return value;
}

}  // namespace

std::string WatchJson(const WatchLine& line, std::string_view seen) {
  std::string json = "{\"seen\": " + JsonString(seen);
  if (!line.unitTime.empty()) json += ", \"time\": " + JsonString(line.unitTime);
  json += ", \"unit\": " + JsonString(line.unit) + ", \"mac\": " + JsonString(line.mac) + ", \"kind\": " + JsonString(line.kind);
  if (line.channel > 0) json += ", \"channel\": " + std::to_string(line.channel) + ", \"entry\": " + std::to_string(line.entry);
  if (line.kind == "unit_down") json += ", \"reason\": " + JsonString(line.detail);
  if (line.kind == "history_cleared") json += ", \"history\": " + JsonString(line.detail);
  if (line.kind == "unit_replaced") json += ", \"was\": " + JsonString(line.detail);
  if (line.kind == "known") {
    json += ", \"alarm\": " + std::to_string(line.known[0]) + ", \"video-loss\": " + std::to_string(line.known[1]);
  }
  return json + "}";
}

std::optional<WatchState> WatchState::Parse(std::string_view text) {
  std::size_t end = text.find('\n');
  if (text.substr(0, end) != kHeader) return std::nullopt;
  WatchState state;
  while (end != std::string_view::npos) {
    text.remove_prefix(end + 1);
    end = text.find('\n');
    const std::vector<std::string> f = Fields(text.substr(0, end));
    if (f[0] == "unit" && f.size() == 6) {
      Unit& unit = state.units_[f[1]];
      unit.label = f[2];
      unit.mac = IsMacAddress(f[3]) ? f[3] : std::string();
      unit.up = f[4] == "1";
      unit.read = f[5] == "1";
      continue;
    }
    if (f.size() < 4 || !state.units_.count(f[1])) continue;  // a line this version does not know
    Unit& unit = state.units_[f[1]];
    const auto kind = KindNamed(f[2]);
    if (!kind) continue;
    const auto channel = f.size() == 5 ? Number(f[3]) : std::nullopt;
    const auto count = f.size() == 5 ? Number(f[4]) : Number(f[3]);
    if (f[0] == "seen" && f.size() == 4 && unit.seen[*kind].size() < kHistoryEntryCount) {
      unit.seen[*kind].push_back(f[3]);
    } else if (f[0] == "total" && channel && count && *channel >= 1 && *channel <= kChannelCount) {
      unit.totals[{*kind, static_cast<int>(*channel)}] = *count;
    } else if (f[0] == "last" && f.size() == 4 && count) {
      unit.last[*kind] = *count;
    }
  }
  return state;
}

std::string WatchState::Text() const {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [key, unit] : units_) {
    text += "unit\t" + key + "\t" + unit.label + "\t" + unit.mac + "\t" + (unit.up ? "1" : "0") + "\t" +
            (unit.read ? "1" : "0") + "\n";
  }
  for (const auto& [key, unit] : units_) {
    for (int kind = 0; kind < 2; ++kind) {
      const std::string prefix = key + "\t" + std::string(kKinds[kind]) + "\t";
      for (const std::string& entry : unit.seen[kind]) text += "seen\t" + prefix + entry + "\n";
      if (unit.last[kind] > 0) text += "last\t" + prefix + std::to_string(unit.last[kind]) + "\n";
    }
    for (const auto& [at, count] : unit.totals) {
      text += "total\t" + key + "\t" + std::string(kKinds[at.first]) + "\t" + std::to_string(at.second) + "\t" +
              std::to_string(count) + "\n";
    }
  }
  return text;
}

// The unit's key: its place and MAC address, as its backups are named (two
// units that give one MAC address stay two); when it gave none, the unit
// kept at its place.
std::string WatchState::KeyOf(const UnitReading& reading) const {
  if (IsMacAddress(reading.mac)) return reading.label + "_" + reading.mac;
  for (const auto& [key, unit] : units_) {
    if (unit.label == reading.label) return key;
  }
  return reading.label;
}

std::vector<WatchLine> WatchState::Take(const std::vector<UnitReading>& readings, std::int64_t seenAt, bool reportAll,
                                        std::string_view absent) {
  std::vector<WatchLine> lines;
  std::vector<std::string> present;
  for (const UnitReading& reading : readings) {
    const std::string key = KeyOf(reading);
    present.push_back(key);
    // Another unit kept at this place: one that never gave its MAC address
    // is this one, whose address is now known; one that gave another was
    // swapped for this one, which is said once.
    for (auto other = units_.begin(); other != units_.end();) {
      if (other->first == key || other->second.label != reading.label || !IsMacAddress(reading.mac)) {
        ++other;
        continue;
      }
      if (!other->second.mac.empty()) {
        lines.push_back(LineOf("unit_replaced", reading.label, reading.mac, other->second.mac));
      } else if (units_.count(key) == 0) {
        units_[key] = std::move(other->second);
      }
      other = units_.erase(other);
    }
    Unit& unit = units_[key];
    unit.label = reading.label;
    if (IsMacAddress(reading.mac)) unit.mac = reading.mac;
    if (!reading.answered) {
      if (unit.up) lines.push_back(LineOf("unit_down", unit.label, unit.mac, reading.why));
      unit.up = false;
      continue;
    }
    if (!unit.up) lines.push_back(LineOf("unit_up", unit.label, unit.mac));
    unit.up = true;
    const bool report = unit.read || reportAll;
    TakeHistory(unit, 0, reading.alarm, seenAt, report, lines);
    TakeHistory(unit, 1, reading.videoLoss, seenAt, report, lines);
    if (!report) {
      WatchLine known = LineOf("known", unit.label, unit.mac);
      known.known = {static_cast<int>(unit.seen[0].size()), static_cast<int>(unit.seen[1].size())};
      lines.push_back(known);
    }
    unit.read = true;
  }
  for (auto& [key, unit] : units_) {
    if (std::find(present.begin(), present.end(), key) != present.end() || !unit.up) continue;
    unit.up = false;
    lines.push_back(LineOf("unit_down", unit.label, unit.mac, std::string(absent)));
  }
  return lines;
}

// What the history holds that the state did not, in the order the unit's
// clock gives, each reported once; a history that lost entries it had
// (erased, or the unit reset) is said once.
void WatchState::TakeHistory(Unit& unit, int kind, const History& history, std::int64_t seenAt, bool report,
                             std::vector<WatchLine>& lines) {
  std::vector<std::pair<std::string, int>> held;  // signature, entry
  for (int entry = 0; entry < kHistoryEntryCount; ++entry) {
    if (history[entry].channel != kEmptyHistoryChannel) held.emplace_back(Signature(history[entry]), entry + 1);
  }
  std::vector<std::string> before = unit.seen[kind];
  std::vector<std::string> now;
  std::vector<std::pair<std::string, int>> fresh;
  for (const auto& [signature, entry] : held) {
    now.push_back(signature);
    const auto known = std::find(before.begin(), before.end(), signature);
    if (known != before.end()) {
      before.erase(known);
    } else {
      fresh.emplace_back(signature, entry);
    }
  }
  if (report && held.size() < unit.seen[kind].size() && !before.empty()) {
    lines.push_back(LineOf("history_cleared", unit.label, unit.mac, std::string(kKinds[kind])));
  }
  unit.seen[kind] = std::move(now);
  if (!report) return;
  std::sort(fresh.begin(), fresh.end());
  for (const auto& [signature, entry] : fresh) {
    const HistoryRecord& r = history[entry - 1];
    const int channel = std::clamp(r.channel, 1, kChannelCount);
    std::string time = HistoryTime(r);
    time[10] = 'T';
    WatchLine& event = lines.emplace_back(LineOf(kKinds[kind], unit.label, unit.mac));
    event.channel = channel;
    event.entry = entry;
    event.unitTime = time;
    ++unit.totals[{kind, channel}];
    unit.last[kind] = seenAt;
  }
}

std::string WatchState::Prometheus(double roundSeconds) const {
  std::string up = "# HELP kelvrix_unit_up Whether the unit answered in the last round.\n# TYPE kelvrix_unit_up gauge\n";
  std::string events = "# HELP kelvrix_events_total Alarm and video-loss entries new in the unit's histories.\n"
                       "# TYPE kelvrix_events_total counter\n";
  std::string last = "# HELP kelvrix_last_event_timestamp_seconds When an entry of the kind was last seen new.\n"
                     "# TYPE kelvrix_last_event_timestamp_seconds gauge\n";
  for (const auto& [key, unit] : units_) {
    const std::string name = "unit=\"" + LabelValue(unit.label) + "\"";
    up += "kelvrix_unit_up{" + name + ",mac=\"" + LabelValue(unit.mac) + "\"} " + (unit.up ? "1" : "0") + "\n";
    if (!unit.read) continue;
    for (int kind = 0; kind < 2; ++kind) {
      const std::string kindLabel = name + ",kind=\"" + std::string(kKinds[kind]) + "\"";
      for (int channel = 1; channel <= kChannelCount; ++channel) {  // every series from the start, so that rises show
        const auto total = unit.totals.find({kind, channel});
        events += "kelvrix_events_total{" + kindLabel + ",channel=\"" + std::to_string(channel) + "\"} " +
                  std::to_string(total == unit.totals.end() ? 0 : total->second) + "\n";
      }
      if (unit.last[kind] > 0) last += "kelvrix_last_event_timestamp_seconds{" + kindLabel + "} " + std::to_string(unit.last[kind]) + "\n";
    }
  }
  char round[64];
  std::snprintf(round, sizeof round, "%.3f", roundSeconds);
  return up + events + last +
         "# HELP kelvrix_watch_round_seconds How long the last round took.\n# TYPE kelvrix_watch_round_seconds gauge\n"
         "kelvrix_watch_round_seconds " + round + "\n";
}

HistoryRound::HistoryRound(UnitConnections& connections, bool sharedLine, Millis timeout)
    : sharedLine_(sharedLine),
      timeout_(timeout),
      runner_(connections, sharedLine ? UnitRunner::Turns::OneAtATime : UnitRunner::Turns::AllAtOnce, sharedLine) {}

std::size_t HistoryRound::Add(std::string label, std::string mac, int address) {
  Unit& unit = units_.emplace_back();
  unit.label = std::move(label);
  unit.mac = std::move(mac);
  ResetSettingsToDefaults(unit.model);
  std::vector<std::string> lines = unit.mac.empty() ? std::vector<std::string>{"REMA"} : std::vector<std::string>{};
  for (const bool alarm : {true, false}) {
    for (std::string& line : HistoryLines(alarm)) lines.push_back(std::move(line));
  }
  unit.requests.Start(std::move(lines), timeout_);
  return runner_.Add(unit.requests, unit.model, {sharedLine_, address});
}

std::vector<UnitReading> HistoryRound::Readings() const {
  std::vector<UnitReading> readings;
  for (std::size_t k = 0; k < units_.size(); ++k) {
    const Unit& unit = units_[k];
    UnitReading& reading = readings.emplace_back();
    reading.label = unit.label;
    reading.mac = unit.mac.empty() ? std::string(unit.model.macAddress, strnlen(unit.model.macAddress, sizeof unit.model.macAddress)) : unit.mac;
    // The histories' answers: the MAC address, asked first when no scan gave
    // it, names the unit but is no part of them.
    const auto& answers = unit.requests.Answers();
    int unanswered = 0, unread = 0;
    for (std::size_t i = unit.mac.empty() ? 1 : 0; i < answers.size(); ++i) {
      unanswered += answers[i] ? 0 : 1;
      unread += answers[i] && answers[i]->Taken() ? 0 : 1;
    }
    const UnitRunner::End end = runner_.EndOf(k);
    reading.answered = end == UnitRunner::End::Ended && unread == 0;
    if (end == UnitRunner::End::Broke) {
      reading.why = "接続が切れました";
    } else if (end != UnitRunner::End::Ended) {
      reading.why = "接続できません";
    } else if (unit.requests.Silenced() || unanswered == 2 * kHistoryEntryCount) {
      reading.why = "応答なし";
    } else if (unread > 0) {
      reading.why = "読めない履歴 " + std::to_string(unread) + " 件";
    }
    reading.alarm = unit.model.alarmHistory;
    reading.videoLoss = unit.model.videoLossHistory;
  }
  return readings;
}

}  // namespace kelvrix
