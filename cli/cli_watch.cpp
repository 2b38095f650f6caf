#include "cli/cli_watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "model/digits.h"
#include "model/whole_file.h"

namespace kelvrix::cli {

namespace {

// The computer's time as the lines give it: "2026-12-10T05:50:00Z".
std::string IsoTime(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &time);
#else
  gmtime_r(&time, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The units one link reaches, read: those that dial in as they come, the
// bus's as a scan finds them (two on one address are down), or the link's one.
std::vector<UnitReading> ReadUnits(const CliOptions& options, CliLink& link) {
  HistoryRound round(link, link.SharedLine(), AnswerTimeout(options, kSerialAnswerTimeout));
  std::vector<UnitReading> readings;
  if (options.listenPort > 0) {
    Drive(round.Events(), link, [&](std::size_t, const std::string& from) { round.Add(UnitLabel({-1, from, 0, {}}), {}); });
  } else if (options.bus) {
    std::vector<BusUnit> units;
    if (ScanBus(options, link, units)) return {};
    for (const BusUnit& unit : units) {
      const std::string label = PaddedDecimal(unit.address, 2);
      if (unit.conflict) {
        readings.push_back({label, unit.mac, false, unit.status});
      } else {
        round.Add(label, unit.mac, unit.address);
      }
    }
    Drive(round.Events(), link);
  } else {
    round.Add(UnitLabel(NameOf(options)), {}, options.address);
    Drive(round.Events(), link);
  }
  for (UnitReading& reading : round.Readings()) readings.push_back(std::move(reading));
  return readings;
}

// Each place a round visits: the link given, or each --tcp host in turn.
std::vector<CliOptions> Places(const CliOptions& options) {
  std::vector<CliOptions> places = {options};
  for (const auto& [host, port] : options.moreHosts) {
    CliOptions other = options;
    other.tcpHost = host;
    other.tcpPort = port;
    places.push_back(other);
  }
  return places;
}

struct Round {
  std::vector<UnitReading> readings;
  std::string absent = "見つかりません";  // why a unit of the state the round did not read is down
};

Round ReadRound(const CliOptions& options, const Platform& platform) {
  Round round;
  for (const CliOptions& place : Places(options)) {
    std::string error;
    const auto link = platform.open(place, error);
    if (!link && !place.tcpHost.empty()) {
      round.readings.push_back({UnitLabel(NameOf(place)), {}, false, "接続できません: " + error});
    } else if (!link) {
      round.absent = error;
    } else {
      for (UnitReading& reading : ReadUnits(place, *link)) round.readings.push_back(std::move(reading));
    }
    if (CancelRequested()) break;
  }
  return round;
}

// What was seen before: the state file's, or none; nothing when the file is not one.
std::optional<WatchState> LoadState(const std::string& path) {
  const auto text = path.empty() ? std::nullopt : ReadWholeFile(path);
  return text ? WatchState::Parse(*text) : std::optional(WatchState{});
}

constexpr LogKind kLogKinds[] = {
    {"alarm", 1, LogKind::Weight::Warning},        {"video-loss", 2, LogKind::Weight::Warning},
    {"unit_down", 3, LogKind::Weight::Error},       {"unit_up", 4, LogKind::Weight::Information},
    {"history_cleared", 5, LogKind::Weight::Warning}, {"unit_replaced", 6, LogKind::Weight::Warning},
    {"known", 7, LogKind::Weight::Information},
};

}  // namespace

const LogKind& LogKindOf(std::string_view kind) {
  for (const LogKind& entry : kLogKinds) {
    if (entry.kind == kind) return entry;
  }
  return kLogKinds[std::size(kLogKinds) - 1];
}

CommandResult Watch(const CliOptions& options, const Platform& platform) {
  std::optional<WatchState> state = LoadState(options.stateFile);
  if (!state) return {kExitFile, {}, "not a watch state file: " + options.stateFile};
  std::unique_ptr<WatchLog> log;
  if (options.syslog || options.eventLog) {
    std::string error;
    if (!platform.openLog || !(log = platform.openLog(options, error))) return {kExitUsage, {}, error};
  }
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::seconds(options.intervalSeconds);
  for (auto start = Clock::now();; start += interval) {
    const Round round = ReadRound(options, platform);
    // A round cut short says nothing: the state is the last whole round's.
    // A service stopped is no failure; one round asked for and not done is.
    if (CancelRequested()) return options.once ? CommandResult{kExitDiffers, {}, "cancelled"} : CommandResult{};
    const std::int64_t seen = platform.epochSeconds();
    const auto lines = state->Take(round.readings, seen, options.all, round.absent);
    bool logged = true;
    for (const WatchLine& line : lines) {
      const std::string json = WatchJson(line, IsoTime(seen));
      std::printf("%s\n", json.c_str());
      if (log) logged = log->Write(line, json) && logged;
    }
    std::fflush(stdout);
    if (!logged) std::fprintf(stderr, "kelvrix-cli: the log took not every line of this round\n");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!options.stateFile.empty() && !ReplaceWholeFile(options.stateFile, state->Text())) {
      return {kExitFile, {}, "cannot write " + options.stateFile};
    }
    if (!options.prometheusFile.empty() && !ReplaceWholeFile(options.prometheusFile, state->Prometheus(seconds))) {
      return {kExitFile, {}, "cannot write " + options.prometheusFile};
    }
    if (options.once) {
      const auto up = std::count_if(round.readings.begin(), round.readings.end(), [](const UnitReading& r) { return r.answered; });
      if (up == 0) return {kExitLink, {}, round.readings.empty() ? round.absent : "no unit answered"};
      return {up == static_cast<long>(round.readings.size()) ? kExitOk : kExitDiffers, {}, {}};
    }
    // The next round at its time, or at once when this one took longer.
    for (auto now = Clock::now(); !CancelRequested() && now < start + interval; now = Clock::now()) {
      platform.pause(std::chrono::duration_cast<Millis>(start + interval - now) + Millis(1));
    }
    if (CancelRequested()) return {kExitOk, {}, {}};
    start = std::max(start, Clock::now() - interval);
  }
}

}  // namespace kelvrix::cli
