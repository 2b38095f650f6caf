#include "cli/cli_commands.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "cli/cli_output.h"
#include "model/all_settings_runs.h"
#include "model/command_catalogue.h"
#include "model/digits.h"
#include "model/reply_decoders.h"
#include "model/settings_data_file.h"
#include "tools/bus_scan.h"
#include "tools/jobs_in_turn.h"
#include "tools/request_list.h"
#include "tools/settings_report.h"
#include "tools/unit_job.h"
#include "tools/unit_comparison.h"

namespace kelvrix::cli {

namespace {

// The write-all run's 152 lines, each sent on the answer to the one before:
// `write`. A step the program refuses to build is noted and skipped; three
// steps in a row without an answer end the run.
class WriteAll : public GatedSequence {
 public:
  explicit WriteAll(DeviceSettings file) : file_(std::move(file)) {}
  void Start(Millis timeout) { StartRun(kWriteAllSteps, timeout); }
  std::optional<ToolRequest> Next(Millis now) override {
    if (!run_) return std::nullopt;
    const std::size_t silentBefore = run_->Unanswered().size();
    auto request = run_->Next(now);
    if (run_->Unanswered().size() > silentBefore && ++silentInARow_ >= kSilentSteps) {
      run_->Cancel();
      request.reset();
    }
    for (; request; request = run_->Next(now)) {
      const BuiltCommand built = WriteAllStep(file_, request->step);
      if (!built.refused()) return ToolRequest{built.text};
      problems.push_back("step " + std::to_string(request->step) + ": " + std::string(RefusalMessage(built.refusal)));
      run_->Answered();
    }
    if (run_->Done()) {
      for (int step : run_->Unanswered()) problems.push_back("step " + std::to_string(step) + ": 応答なし");
      run_.reset();
    }
    return std::nullopt;
  }
  void Replied(std::string_view line, std::string_view, std::string_view failure) override {
    if (!run_ || !run_->Waiting()) return;
    if (!failure.empty()) problems.push_back("step " + std::to_string(run_->Step()) + ": " + std::string(failure));
    else if (!line.starts_with("GO")) return;  // not this step's answer
    silentInARow_ = 0;
    run_->Answered();
  }
  bool Stopped() const { return silentInARow_ >= kSilentSteps; }

  std::vector<std::string> problems;

 private:
  static constexpr int kSilentSteps = 3;
  DeviceSettings file_;
  int silentInARow_ = 0;
};

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

DeviceSettings Defaults() {
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  return settings;
}

// The model a settings data file holds, over the program's initial values.
std::optional<DeviceSettings> LoadSettingsFile(const std::string& path) {
  const auto text = ReadFile(path);
  if (!text) return std::nullopt;
  DeviceSettings settings = Defaults();
  ReadSettingsData(*text, settings);
  return settings;
}

// A single command, or a setting written, may keep a unit busy longer than
// a read does.
constexpr Millis kSendAnswerTimeout{3000};
constexpr Millis kWriteAnswerTimeout{1000};

UnitTarget TargetOf(const CliOptions& options) { return {!options.serialDevice.empty(), options.address}; }

Millis AnswerTimeout(const CliOptions& options, Millis serialDefault) {
  if (options.timeoutMs > 0) return Millis(options.timeoutMs);
  return options.serialDevice.empty() ? kSocketAnswerTimeout : serialDefault;
}

CommandResult LinkBroke() { return {kExitLink, {}, "the link broke"}; }

// Why a finished read of a unit failed, if it did.
std::optional<CommandResult> ReadFailure(const UnitComparison& comparison, bool broke) {
  if (broke) return LinkBroke();
  if (comparison.UnansweredCount() == comparison.AskedCount()) return CommandResult{kExitLink, {}, "no answer from the unit"};
  return std::nullopt;
}

// Reads every setting the unit reports into a comparison against `file`.
std::optional<CommandResult> ReadUnit(const CliOptions& options, CliLink& link, UnitComparison& comparison,
                                      const DeviceSettings& file) {
  comparison.StartReading(file, AnswerTimeout(options, kSerialAnswerTimeout));
  return ReadFailure(comparison, !RunSequence(comparison, link, TargetOf(options), comparison.unit));
}

CommandResult Show(const CliOptions& options) {
  const auto settings = LoadSettingsFile(options.arguments[0]);
  if (!settings) return {kExitFile, {}, "cannot read " + options.arguments[0]};
  return {kExitOk, ShowSettings(*settings, options.json), {}};
}

CommandResult Read(const CliOptions& options, CliLink& link) {
  UnitComparison comparison;
  if (auto failed = ReadUnit(options, link, comparison, Defaults())) return *failed;
  const std::string file = WriteSettingsData(comparison.unit);
  CommandResult result;
  if (comparison.UnansweredCount() > 0) {
    result.exitCode = kExitDiffers;
    result.error = std::to_string(comparison.UnansweredCount()) + " requests went unanswered: their settings hold the initial values";
  }
  if (options.output.empty()) {
    result.out = file;
  } else if (!WriteFile(options.output, file)) {
    return {kExitFile, {}, "cannot write " + options.output};
  }
  return result;
}

CommandResult Diff(const CliOptions& options, CliLink& link) {
  const auto file = LoadSettingsFile(options.arguments[0]);
  if (!file) return {kExitFile, {}, "cannot read " + options.arguments[0]};
  UnitComparison comparison;
  if (auto failed = ReadUnit(options, link, comparison, *file)) return *failed;
  return {comparison.Rows().empty() ? kExitOk : kExitDiffers, ComparisonReport(comparison, options.json), {}};
}

// Compare, write what differs, read it back.
CommandResult Apply(const CliOptions& options, CliLink& link) {
  const auto file = LoadSettingsFile(options.arguments[0]);
  if (!file) return {kExitFile, {}, "cannot read " + options.arguments[0]};
  const bool serial = !options.serialDevice.empty();
  const Millis timeout = AnswerTimeout(options, kSerialAnswerTimeout);
  UnitJob job(JobKind::Apply, *file, JobTimeouts{timeout, timeout}, serial, serial && options.address < 0, std::tm{});
  job.Start();
  if (!RunSequence(job, link, TargetOf(options), job.Model())) return LinkBroke();
  if (auto failed = ReadFailure(job.Comparison(), false)) return *failed;
  return {job.Succeeded() ? kExitOk : kExitDiffers, ComparisonReport(job.Comparison(), options.json), {}};
}

CommandResult Write(const CliOptions& options, CliLink& link) {
  const auto file = LoadSettingsFile(options.arguments[0]);
  if (!file) return {kExitFile, {}, "cannot read " + options.arguments[0]};
  WriteAll run(*file);
  run.Start(AnswerTimeout(options, kWriteAnswerTimeout));
  DeviceSettings scratch = Defaults();
  if (!RunSequence(run, link, TargetOf(options), scratch)) return LinkBroke();
  if (run.Stopped()) return {kExitLink, {}, "the unit stopped answering: the write is incomplete"};
  std::string text;
  for (const std::string& problem : run.problems) text += problem + "\n";
  text += std::to_string(kWriteAllSteps - static_cast<int>(run.problems.size())) + " / " +
          std::to_string(kWriteAllSteps) + " 項目を書き込みました\n";
  if (options.json) {
    std::string items;
    for (const std::string& problem : run.problems) items += (items.empty() ? "" : ", ") + JsonString(problem);
    text = "{\"written\": " + std::to_string(kWriteAllSteps - static_cast<int>(run.problems.size())) +
           ", \"problems\": [" + items + "]}\n";
  }
  return {run.problems.empty() ? kExitOk : kExitDiffers, text, {}};
}

// Saves what a read of the unit gave, unless `failed` says why it gave nothing.
InventoryRow SaveBackup(const std::optional<CommandResult>& failed, const UnitComparison& comparison,
                        const std::string& unitName, const std::string& folder, const std::string& time) {
  const std::string name = unitName + ".dat";
  std::string file, result = "ok";
  if (failed) {
    result = failed->error;
  } else if (!WriteFile(folder + "/" + name, WriteSettingsData(comparison.unit))) {
    result = "cannot write " + name;
  } else {
    file = name;
    if (comparison.UnansweredCount() > 0) result = std::to_string(comparison.UnansweredCount()) + " requests unanswered";
  }
  return {unitName, comparison.unit.macAddress, comparison.unit.firmwareVersion, time, file, result};
}

InventoryRow BackUpUnit(const CliOptions& options, CliLink& link, const std::string& unitName, const std::string& folder,
                    const std::string& time) {
  UnitComparison comparison;
  const auto failed = ReadUnit(options, link, comparison, Defaults());
  return SaveBackup(failed, comparison, unitName, folder, time);
}

// The backup's folder, made if need be, and its time stamp.
std::string PrepareBackup(const std::string& folder, const std::tm& now) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);  // a folder that cannot be made fails at the first file
  char time[32];
  std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &now);
  return time;
}

CommandResult FinishBackup(const CliOptions& options, const std::vector<InventoryRow>& units) {
  const std::string inventory = options.arguments[0] + "/inventory.csv";
  if (!WriteFile(inventory, InventoryReport(units, false))) return {kExitFile, {}, "cannot write " + inventory};
  const bool allSaved = !units.empty() && std::all_of(units.begin(), units.end(), std::mem_fn(&InventoryRow::Saved));
  return {allSaved ? kExitOk : kExitDiffers, InventoryReport(units, options.json), {}};
}

// Every unit of the bus that answered a scan, one after the other.
std::optional<CommandResult> BackupBus(const CliOptions& options, CliLink& link, const std::string& time,
                                       std::vector<InventoryRow>& units) {
  BusScan scan;
  scan.Start(options.timeoutMs > 0 ? Millis(options.timeoutMs) : kScanAnswerTimeout);
  DeviceSettings scratch = Defaults();
  if (!RunSequence(scan, link, TargetOf(options), scratch)) return LinkBroke();
  std::vector<std::unique_ptr<UnitJob>> jobs;
  std::vector<UnitJob*> inTurn;
  std::vector<int> addresses;
  const JobTimeouts timeouts{AnswerTimeout(options, kSerialAnswerTimeout), AnswerTimeout(options, kWriteAnswerTimeout)};
  for (const BusUnit& unit : scan.Units()) {
    if (unit.conflict) continue;  // two units on one address: neither can be read alone
    jobs.push_back(std::make_unique<UnitJob>(JobKind::Backup, Defaults(), timeouts, true, false, std::tm{}));
    jobs.back()->Start();
    inTurn.push_back(jobs.back().get());
    addresses.push_back(unit.address);
  }
  JobsInTurn run;
  run.Start(inTurn, addresses);
  if (!RunSequence(run, link, TargetOf(options), scratch)) return LinkBroke();
  std::size_t read = 0;
  for (const BusUnit& unit : scan.Units()) {
    const std::string name = "unit-" + PaddedDecimal(unit.address, 2);
    if (unit.conflict) {
      units.push_back({name, {}, {}, time, {}, unit.status});
      continue;
    }
    const UnitComparison& comparison = jobs[read++]->Comparison();
    units.push_back(SaveBackup(ReadFailure(comparison, false), comparison, name, options.arguments[0], time));
  }
  return std::nullopt;
}

CommandResult Backup(const CliOptions& options, CliLink& link, const std::tm& now) {
  const std::string folder = options.arguments[0];
  const std::string time = PrepareBackup(folder, now);
  std::vector<InventoryRow> units;
  if (!options.bus) {
    units.push_back(BackUpUnit(options, link, options.serialDevice.empty() ? options.tcpHost : "unit", folder, time));
  } else if (auto failed = BackupBus(options, link, time, units)) {
    return *failed;
  }
  return FinishBackup(options, units);
}

// One job of `kind` for every unit that dialled in, all run at once, each on
// its own connection; a job whose connection broke is cancelled.
std::vector<std::unique_ptr<UnitJob>> RunJobs(JobKind kind, const DeviceSettings& file, const CliOptions& options,
                                              DialledUnits& dialled, const std::tm& now,
                                              std::vector<UnitSequence>& runs) {
  std::vector<std::unique_ptr<UnitJob>> jobs;
  const JobTimeouts timeouts{AnswerTimeout(options, kSerialAnswerTimeout), AnswerTimeout(options, kWriteAnswerTimeout)};
  for (std::size_t k = 0; k < dialled.Count(); ++k) {
    jobs.push_back(std::make_unique<UnitJob>(kind, file, timeouts, false, false, now));
    jobs.back()->Start();
    runs.push_back({*jobs.back(), jobs.back()->Model()});
  }
  RunSequences(runs, dialled);
  return jobs;
}

CommandResult BackupDialled(const CliOptions& options, DialledUnits& dialled, const std::tm& now) {
  const std::string folder = options.arguments[0];
  const std::string time = PrepareBackup(folder, now);
  std::vector<UnitSequence> runs;
  const auto jobs = RunJobs(JobKind::Backup, Defaults(), options, dialled, now, runs);
  std::vector<InventoryRow> units;
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    const UnitComparison& read = jobs[k]->Comparison();
    units.push_back(SaveBackup(ReadFailure(read, runs[k].broke), read, dialled.Name(k), folder, time));
  }
  return FinishBackup(options, units);
}

// apply or clock on every unit that dialled in, all at once: a row per unit.
CommandResult JobsOnDialled(const CliOptions& options, DialledUnits& dialled, const std::tm& now) {
  const bool apply = options.command == "apply";
  std::optional<DeviceSettings> file = Defaults();
  if (apply && !(file = LoadSettingsFile(options.arguments[0]))) return {kExitFile, {}, "cannot read " + options.arguments[0]};
  std::vector<UnitSequence> runs;
  const auto jobs = RunJobs(apply ? JobKind::Apply : JobKind::Clock, *file, options, dialled, now, runs);
  std::vector<UnitResult> results;
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    const bool broke = runs[k].broke;
    results.push_back({dialled.Name(k), broke ? LinkBroke().error : jobs[k]->Result(), !broke && jobs[k]->Succeeded()});
  }
  const bool allDone = std::all_of(results.begin(), results.end(), [](const UnitResult& r) { return r.ok; });
  return {allDone ? kExitOk : kExitDiffers, UnitResultsReport(results, options.json), {}};
}

CommandResult Scan(const CliOptions& options, CliLink& link) {
  BusScan scan;
  scan.Start(options.timeoutMs > 0 ? Millis(options.timeoutMs) : kScanAnswerTimeout);
  DeviceSettings scratch = Defaults();
  if (!RunSequence(scan, link, TargetOf(options), scratch)) return LinkBroke();
  return {scan.Units().empty() ? kExitDiffers : kExitOk, ScanReport(scan, options.json), {}};
}

CommandResult Send(const CliOptions& options, CliLink& link) {
  RequestList request;
  request.Start({options.arguments[0]}, AnswerTimeout(options, kSendAnswerTimeout));
  DeviceSettings scratch = Defaults();
  if (!RunSequence(request, link, TargetOf(options), scratch)) return LinkBroke();
  const auto& answer = request.answers[0];
  if (!answer) return {kExitLink, {}, "no answer from the unit"};
  return {kExitOk, options.json ? "{\"reply\": " + JsonString(*answer) + "}\n" : *answer + "\n", {}};
}

// The unit's clock set from `now`, year first and seconds last.
CommandResult Clock(const CliOptions& options, CliLink& link, const std::tm& now) {
  auto lines = ClockLines(now);
  if (!lines) return {kExitUsage, {}, "the computer's clock is outside the unit's range"};
  RequestList requests;
  requests.Start(std::move(*lines), AnswerTimeout(options, kWriteAnswerTimeout));
  DeviceSettings scratch = Defaults();
  if (!RunSequence(requests, link, TargetOf(options), scratch)) return LinkBroke();
  if (const std::string problems = ClockProblems(requests); !problems.empty()) return {kExitDiffers, {}, problems};
  char set[32];
  std::strftime(set, sizeof set, "%Y-%m-%d %H:%M:%S", &now);
  return {kExitOk, options.json ? "{\"clock\": " + JsonString(set) + "}\n" : std::string(set) + " を設定しました\n", {}};
}

CommandResult History(const CliOptions& options, CliLink& link) {
  const bool alarm = options.arguments[0] == "alarm";
  if (!alarm && options.arguments[0] != "video-loss") return {kExitUsage, {}, "history: alarm or video-loss"};
  RequestList requests;
  requests.Start(HistoryLines(alarm), AnswerTimeout(options, kSerialAnswerTimeout));
  DeviceSettings model = Defaults();
  if (!RunSequence(requests, link, TargetOf(options), model)) return LinkBroke();
  const auto unanswered = std::count(requests.answers.begin(), requests.answers.end(), std::nullopt);
  if (unanswered == kHistoryEntryCount) return {kExitLink, {}, "no answer from the unit"};
  CommandResult result{unanswered > 0 ? kExitDiffers : kExitOk,
                       HistoryReport(alarm ? model.alarmHistory : model.videoLossHistory, options.json, options.csv), {}};
  if (unanswered > 0) result.error = std::to_string(unanswered) + " entries went unanswered";
  return result;
}

std::string TimeText(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &time);
  return text;
}

// When the file was last written, in local time; empty when unknown.
std::string FileTime(const std::string& path) {
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path, error);
  if (error) return {};
  // The file clock's epoch is the library's own: carried over by the two clocks' now.
  const auto since = std::chrono::duration_cast<std::chrono::system_clock::duration>(
      written - std::filesystem::file_time_type::clock::now());
  const std::time_t time = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + since);
  const std::tm* local = std::localtime(&time);
  return local ? TimeText(*local) : std::string();
}

// How the report names the unit the link reaches.
std::string UnitOf(const CliOptions& options) {
  if (!options.tcpHost.empty()) return options.tcpHost;
  if (options.listenPort > 0) return "TCP/IP";
  return options.address >= 0 ? PaddedDecimal(options.address, 2) : "RS-232C";
}

CommandResult WriteReport(const CliOptions& options, const DeviceSettings& settings, const ReportSource& source) {
  CommandResult result;
  const std::string page = SettingsReportHtml(settings, source);
  if (options.output.empty()) {
    result.out = page;
  } else if (!WriteFile(options.output, page)) {
    return {kExitFile, {}, "cannot write " + options.output};
  }
  if (!options.csvOutput.empty() && !WriteFile(options.csvOutput, SettingsReportCsv(settings, true))) {
    return {kExitFile, {}, "cannot write " + options.csvOutput};
  }
  return result;
}

// Of a settings data file; or of the unit, its settings and both histories read.
CommandResult Report(const CliOptions& options, CliLink* link, const std::tm& now) {
  if (!options.arguments.empty()) {
    const std::string& path = options.arguments[0];
    const auto settings = LoadSettingsFile(path);
    if (!settings) return {kExitFile, {}, "cannot read " + path};
    return WriteReport(options, *settings,
                       {{}, {}, {}, std::filesystem::path(path).filename().string(), FileTime(path), TimeText(now)});
  }
  if (!link) return {kExitUsage, {}, "report needs a settings data file or a link"};
  UnitComparison comparison;
  if (auto failed = ReadUnit(options, *link, comparison, Defaults())) return *failed;
  DeviceSettings& unit = comparison.unit;
  for (const bool alarm : {true, false}) {
    RequestList requests;
    requests.Start(HistoryLines(alarm), AnswerTimeout(options, kSerialAnswerTimeout));
    if (!RunSequence(requests, *link, TargetOf(options), unit)) return LinkBroke();
  }
  CommandResult result = WriteReport(
      options, unit, {UnitOf(options), unit.macAddress, unit.firmwareVersion, {}, TimeText(now), TimeText(now)});
  if (result.exitCode == kExitOk && comparison.UnansweredCount() > 0) {
    result.exitCode = kExitDiffers;
    result.error = std::to_string(comparison.UnansweredCount()) + " requests went unanswered: their settings hold the initial values";
  }
  return result;
}

}  // namespace

CommandResult RunCommand(const CliOptions& options, CliLink* link, const std::tm& now) {
  if (options.command == "show") return Show(options);
  if (options.command == "report") return Report(options, link, now);
  if (!link) return {kExitUsage, {}, options.command + " needs a link"};
  if (options.command == "read") return Read(options, *link);
  if (options.command == "diff") return Diff(options, *link);
  if (options.command == "apply") return Apply(options, *link);
  if (options.command == "write") return Write(options, *link);
  if (options.command == "scan") return Scan(options, *link);
  if (options.command == "send") return Send(options, *link);
  if (options.command == "history") return History(options, *link);
  if (options.command == "clock") return Clock(options, *link, now);
  if (options.command == "backup") return Backup(options, *link, now);
  return {kExitUsage, {}, "unknown subcommand " + options.command};
}

CommandResult RunOnDialledUnits(const CliOptions& options, DialledUnits& units, const std::tm& now) {
  if (options.command == "backup") return BackupDialled(options, units, now);
  if (options.units > 1) return JobsOnDialled(options, units, now);
  FirstDialledUnit link(units);
  return RunCommand(options, &link, now);
}

int RunProgram(const std::vector<std::string_view>& arguments, const LinkOpeners& open, const std::tm& now) {
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "kelvrix-cli: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  const CliOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(HelpText(options.command).c_str(), stdout);
    return kExitOk;
  }
  std::string error;
  std::unique_ptr<CliLink> link;
  std::unique_ptr<DialledUnits> dialled;
  if (options.listenPort > 0) {
    dialled = open.listen(options, error);
  } else if (!options.serialDevice.empty() || !options.tcpHost.empty()) {
    link = open.connect(options, error);
  }
  if (!error.empty()) {
    std::fprintf(stderr, "kelvrix-cli: %s\n", error.c_str());
    return kExitLink;
  }
  const CommandResult result = dialled ? RunOnDialledUnits(options, *dialled, now) : RunCommand(options, link.get(), now);
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  if (!result.error.empty()) std::fprintf(stderr, "kelvrix-cli: %s\n", result.error.c_str());
  return result.exitCode;
}

}  // namespace kelvrix::cli
