#include "cli/cli_commands.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/cli_output.h"
#include "cli/cli_watch.h"
#include "link/framing.h"
#include "model/all_settings_runs.h"
#include "model/command_catalogue.h"
#include "model/digits.h"
#include "model/settings_data_file.h"
#include "model/unit_text.h"
#include "model/whole_file.h"
#include "tools/bus_scan.h"
#include "tools/job_run.h"
#include "tools/request_list.h"
#include "tools/screen_switcher.h"
#include "tools/settings_report.h"
#include "tools/unit_comparison.h"
#include "tools/unit_files.h"
#include "tools/unit_runner.h"

namespace kelvrix::cli {

namespace {

// The write-all run's 152 lines, each sent on the answer to the one before:
// `write`. A step the program refuses to build is noted and skipped.
class WriteAll : public GatedSequence {
 public:
  explicit WriteAll(DeviceSettings file) : file_(std::move(file)) {}
  void Start(Millis timeout) { StartRun(kWriteAllSteps, timeout); }
  std::optional<ToolRequest> Next(Millis now) override {
    if (!run_) return std::nullopt;
    for (auto request = run_->Next(now); request; request = run_->Next(now)) {
      const BuiltCommand built = WriteAllStep(file_, request->step);
      if (!built.refused()) return ToolRequest{built.text};
      problems.push_back("step " + std::to_string(request->step) + ": " + std::string(RefusalMessage(built.refusal)));
      run_->Answered();
    }
    if (run_->Done()) {
      for (int step : run_->Unanswered()) problems.push_back("step " + std::to_string(step) + ": 応答なし");
      silenced_ = run_->Silenced();
      run_.reset();
    }
    return std::nullopt;
  }
  void Replied(std::string_view line, std::string_view, std::string_view failure) override {
    if (!run_ || !run_->Waiting()) return;
    if (!failure.empty()) {
      problems.push_back("step " + std::to_string(run_->Step()) + ": " + std::string(failure));
    } else if (!line.starts_with("GO")) {
      return;  // not this step's answer
    } else {
      ++written;
    }
    run_->Answered();
  }
  bool Silenced() const { return silenced_; }

  std::vector<std::string> problems;
  int written = 0;  // steps the unit took

 private:
  DeviceSettings file_;
  bool silenced_ = false;
};

DeviceSettings Defaults() {
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  return settings;
}

// A single command, or a setting written, may keep a unit busy longer than
// a read does.
constexpr Millis kSendAnswerTimeout{3000};
constexpr Millis kWriteAnswerTimeout{1000};

UnitTarget TargetOf(const CliOptions& options) { return {OnSerial(options), options.address}; }

JobTimeouts TimeoutsOf(const CliOptions& options) {
  return {AnswerTimeout(options, kSerialAnswerTimeout), AnswerTimeout(options, kWriteAnswerTimeout)};
}


CommandResult LinkBroke() { return {kExitLink, {}, "the link broke"}; }
CommandResult NoAnswer() { return {kExitLink, {}, "no answer from the unit"}; }
CommandResult Cancelled() { return {kExitDiffers, {}, "cancelled"}; }

// One sequence on the link's one unit, to its end.
struct OneRun {
  UnitRunner::End end;
  bool cancelled;
};
OneRun RunOne(GatedSequence& sequence, DeviceSettings& model, CliLink& link, const CliOptions& options) {
  UnitRunner runner(link, link.SharedLine() ? UnitRunner::Turns::OneAtATime : UnitRunner::Turns::AllAtOnce,
                    link.SharedLine());
  runner.Add(sequence, model, TargetOf(options));
  Drive(runner, link);
  return {runner.EndOf(0), runner.Cancelled()};
}

// Why a read of a unit did not give every setting, if it did not.
std::optional<CommandResult> ReadFailure(const UnitComparison& comparison, const OneRun& run) {
  if (run.end == UnitRunner::End::Broke) return LinkBroke();
  if (run.cancelled) return Cancelled();
  if (comparison.UnansweredCount() == comparison.AskedCount()) return NoAnswer();
  if (comparison.Unread().empty()) return std::nullopt;
  return CommandResult{kExitDiffers, {},
                       std::string(comparison.Silenced() ? "応答なし: " : "") + "読めない設定 " +
                           std::to_string(comparison.Unread().size()) + " 件: " + comparison.UnreadNames()};
}

OneRun ReadUnit(const CliOptions& options, CliLink& link, UnitComparison& comparison, const DeviceSettings& file) {
  comparison.StartReading(file, AnswerTimeout(options, kSerialAnswerTimeout));
  return RunOne(comparison, comparison.unit, link, options);
}

// A settings data file, whole; or why it is not.
struct LoadedFile {
  std::optional<DeviceSettings> settings;
  CommandResult failure;
};
LoadedFile LoadSettingsFile(const std::string& path) {
  SettingsSource source = SettingsOfFile(ReadWholeFile(path), path);
  if (!source.settings) return {std::nullopt, {kExitFile, {}, source.words}};
  return {std::move(source.settings), {}};
}

// Where the subcommand's results go, found writable before any link is
// opened or anything read: -o and --csv, watch's state and Prometheus files; a backup's folder, made.
std::optional<CommandResult> Unwritable(const CliOptions& options) {
  std::vector<std::string> paths = {options.output, options.csvOutput, options.stateFile, options.prometheusFile};
  if (options.command == "backup") {
    if (!MakeFolders(options.arguments[0])) return CommandResult{kExitFile, {}, "cannot write " + options.arguments[0]};
    paths.push_back(PathIn(options.arguments[0], "inventory.csv"));
  }
  for (const std::string& path : paths) {
    if (!path.empty() && !CanWriteBeside(path)) return CommandResult{kExitFile, {}, "cannot write " + path};
  }
  return std::nullopt;
}

CommandResult Saved(const std::string& path, const std::string& bytes, CommandResult result) {
  if (path.empty()) {
    result.out += bytes;
  } else if (!ReplaceWholeFile(path, bytes)) {
    return {kExitFile, {}, "cannot write " + path};
  }
  return result;
}

CommandResult Show(const CliOptions& options) {
  const LoadedFile file = LoadSettingsFile(options.arguments[0]);
  if (!file.settings) return file.failure;
  return {kExitOk, ShowSettings(*file.settings, options.json), {}};
}

CommandResult Read(const CliOptions& options, CliLink& link) {
  UnitComparison comparison;
  const OneRun run = ReadUnit(options, link, comparison, Defaults());
  // A file with the initial values in place of what the unit did not give
  // would restore them later: none is written.
  if (auto failed = ReadFailure(comparison, run)) return *failed;
  return Saved(options.output, WriteSettingsData(comparison.unit), {});
}

CommandResult Diff(const CliOptions& options, CliLink& link) {
  const LoadedFile file = LoadSettingsFile(options.arguments[0]);
  if (!file.settings) return file.failure;
  UnitComparison comparison;
  const OneRun run = ReadUnit(options, link, comparison, *file.settings);
  if (run.end == UnitRunner::End::Broke) return LinkBroke();
  if (comparison.UnansweredCount() == comparison.AskedCount()) return NoAnswer();
  CommandResult result{comparison.Rows().empty() ? kExitOk : kExitDiffers, ComparisonReport(comparison, options.json), {}};
  if (auto failed = ReadFailure(comparison, run)) result.error = failed->error;
  return result;
}

// Nothing a run of settings leaves goes into a file.
class NoFiles : public RunFiles {
 public:
  bool Write(const std::string&, std::string_view) override { return false; }
};

JobRunSettings RunSettings(JobKind kind, const CliOptions& options, const LocalClock& localTime) {
  JobRunSettings settings;
  settings.kind = kind;
  settings.timeouts = TimeoutsOf(options);
  settings.serialLink = OnSerial(options);
  settings.sameUnitCheck = OnSerial(options) && options.address < 0;
  settings.localTime = localTime;
  settings.date = localTime();
  settings.byteOrderMark = false;
  return settings;
}

// The job on the link's unit, or on every unit that dials in (--listen).
void RunJobs(JobRun& run, CliLink& link, const CliOptions& options, const SettingsSource& source) {
  if (options.listenPort > 0) {
    Drive(run, link, [&](std::size_t, const std::string& name) { run.Add({-1, name, 0, {}}, source); });
  } else {
    run.Add(NameOf(options), source);
    Drive(run, link);
  }
  run.TakeEnded();  // every unit's row settled, its files written
}

int ExitOf(const JobRun& run) {
  if (run.AllOk()) return kExitOk;
  for (std::size_t k = 0; k < run.Count(); ++k) {
    const UnitOutcome outcome = run.Record(k).outcome;
    if (outcome != UnitOutcome::NoAnswer && outcome != UnitOutcome::LinkBroke && outcome != UnitOutcome::NotConnected) {
      return kExitDiffers;
    }
  }
  return run.Count() == 0 ? kExitDiffers : kExitLink;  // no unit was reached at all
}

// On the many units that dial in: what came of each, a row per unit.
CommandResult RowPerUnit(const JobRun& run, const CliOptions& options) {
  std::vector<UnitResult> results;
  for (std::size_t k = 0; k < run.Count(); ++k) {
    results.push_back({UnitLabel(run.Record(k).name), run.Record(k).words, run.Record(k).Ok()});
  }
  return {ExitOf(run), UnitResultsReport(results, options.json), {}};
}

// Compare, write what differs, read it back; on many units, a row each.
CommandResult Apply(const CliOptions& options, CliLink& link, const LocalClock& localTime) {
  const LoadedFile file = LoadSettingsFile(options.arguments[0]);
  if (!file.settings) return file.failure;
  NoFiles none;
  JobRun run(link, none, RunSettings(JobKind::Apply, options, localTime));
  RunJobs(run, link, options, {file.settings, options.arguments[0], UnitOutcome::Done, {}});
  if (options.listenPort > 0 && options.units > 1) return RowPerUnit(run, options);
  if (run.Count() == 0) return NoAnswer();
  const UnitRecord& record = run.Record(0);
  CommandResult result{ExitOf(run), ComparisonReport(run.UnitJobOf(0).Comparison(), options.json, record.words), {}};
  if (!record.Ok()) result.error = record.words;
  return result;
}

CommandResult Write(const CliOptions& options, CliLink& link) {
  const LoadedFile file = LoadSettingsFile(options.arguments[0]);
  if (!file.settings) return file.failure;
  WriteAll run(*file.settings);
  run.Start(AnswerTimeout(options, kWriteAnswerTimeout));
  DeviceSettings scratch = Defaults();
  const OneRun ended = RunOne(run, scratch, link, options);
  // However it ended, what the unit took is said.
  std::string text;
  for (const std::string& problem : run.problems) text += problem + "\n";
  text += std::to_string(run.written) + " / " + std::to_string(kWriteAllSteps) + " 項目を書き込みました\n";
  if (options.json) {
    std::string items;
    for (const std::string& problem : run.problems) items += (items.empty() ? "" : ", ") + JsonString(problem);
    text = "{\"written\": " + std::to_string(run.written) + ", \"steps\": " + std::to_string(kWriteAllSteps) +
           ", \"problems\": [" + items + "]}\n";
  }
  if (ended.end == UnitRunner::End::Broke) return {kExitLink, text, "the link broke: the write is incomplete"};
  if (run.Silenced()) return {kExitLink, text, "the unit stopped answering: the write is incomplete"};
  if (ended.cancelled) return {kExitDiffers, text, "cancelled: the write is incomplete"};
  return {run.written == kWriteAllSteps ? kExitOk : kExitDiffers, text, {}};
}

// The unit's time read just before its first clock line; a row each on many.
CommandResult Clock(const CliOptions& options, CliLink& link, const LocalClock& localTime) {
  NoFiles none;
  JobRun run(link, none, RunSettings(JobKind::Clock, options, localTime));
  RunJobs(run, link, options, {Defaults(), {}, UnitOutcome::Done, {}});
  if (options.listenPort > 0 && options.units > 1) return RowPerUnit(run, options);
  if (run.Count() == 0) return NoAnswer();
  const UnitRecord& record = run.Record(0);
  const auto& set = run.UnitJobOf(0).ClockSet();
  if (!record.Ok() || !set) return {ExitOf(run), {}, record.words};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &*set);
  return {kExitOk, options.json ? "{\"clock\": " + JsonString(text) + "}\n" : std::string(text) + " を設定しました\n", {}};
}

// Every unit into DIR: one .dat each, and the inventory.
CommandResult Backup(const CliOptions& options, CliLink& link, const LocalClock& localTime) {
  const std::string& folder = options.arguments[0];
  const std::string inventory = PathIn(folder, "inventory.csv");
  MakeFolders(folder);  // made before any link was opened, when run as a program
  FolderFiles files(folder, ReplaceWholeFile, ReadWholeFile);
  JobRun run(link, files, RunSettings(JobKind::Backup, options, localTime));
  const SettingsSource read{Defaults(), {}, UnitOutcome::Done, {}};
  if (options.bus) {
    std::vector<BusUnit> units;
    if (auto failed = ScanBus(options, link, units)) return *failed;
    for (const BusUnit& unit : units) {
      const UnitName name{unit.address, {}, 0, unit.mac};
      run.Add(name, unit.conflict ? SettingsSource{{}, {}, UnitOutcome::Conflict, unit.status} : read);
    }
    Drive(run, link);
    run.TakeEnded();
  } else {
    RunJobs(run, link, options, read);
  }
  if (!ReplaceWholeFile(inventory, InventoryCsv(run.Inventory(), false, run.InventoryNote()))) {
    return {kExitFile, {}, "cannot write " + inventory};
  }
  return {ExitOf(run), InventoryReport(run.Inventory(), options.json, run.InventoryNote()),
          run.AllOk() ? "" : run.Summary()};
}

// The unit at the link's place becomes the one its newest backup in DIR was
// made of: first asked who it is, and refused (nothing written) when there
// is no whole backup of its place, it gives no MAC address, or it is the
// very unit of the backup; then each step verified, a new backup and a row
// of the inventory.
CommandResult Replace(const CliOptions& options, CliLink& link, const LocalClock& localTime) {
  const std::string& folder = options.arguments[0];
  const bool serial = OnSerial(options);
  RequestList ask;
  ask.Start(ReplacementQuestions(serial), AnswerTimeout(options, kSerialAnswerTimeout));
  DeviceSettings now{};
  if (RunOne(ask, now, link, options).end == UnitRunner::End::Broke) return LinkBroke();
  UnitName name = NameOf(options);
  if (!options.dialledFrom.empty()) name = {-1, options.dialledFrom, 0, {}};
  const auto read = [&folder](const std::string& file) { return ReadWholeFile(PathIn(folder, file)); };
  const ReplacePlan plan = PlanReplacement(FileNamesIn(folder), name, read, now, serial);
  if (plan.refusal != UnitOutcome::Done) {
    const int exit = plan.refusal == UnitOutcome::NoAnswer ? kExitLink
                     : plan.refusal == UnitOutcome::Conflict ? kExitDiffers : kExitFile;
    return {exit, {}, plan.words};
  }
  const std::string facts = plan.Facts(UnitLabel(name), serial);
  if (options.dryRun) {
    UnitComparison comparison;
    const OneRun run = ReadUnit(options, link, comparison, plan.replacement.backup);
    if (auto failed = ReadFailure(comparison, run)) return *failed;
    return {kExitOk, options.json ? ComparisonReport(comparison, true) : facts + "\n" + ComparisonReport(comparison, false), {}};
  }
  FolderFiles files(folder, ReplaceWholeFile, ReadWholeFile);
  JobRun run(link, files, RunSettings(JobKind::Replace, options, localTime));
  run.Add(name, plan.replacement);
  Drive(run, link);
  run.TakeEnded();
  if (!AddToInventory(files, "inventory.csv", run.Inventory())) return {kExitFile, {}, "cannot write inventory.csv"};
  const UnitRecord& record = run.Record(0);
  const std::string wrote = "ファイルから書き込み: ビデオロスの設定（VL、VLD、VLBC）と画面の切替（ユニットから読めないため、確認はできません）\n";
  CommandResult result = RowPerUnit(run, options);
  if (!options.json) result.out = facts + "\n" + result.out + (record.Ok() ? wrote : "");
  if (!record.Ok()) result.error = record.words;
  return result;
}

CommandResult Scan(const CliOptions& options, CliLink& link) {
  BusScan scan;
  scan.Start(options.timeoutMs > 0 ? Millis(options.timeoutMs) : kScanAnswerTimeout);
  DeviceSettings scratch = Defaults();
  if (RunOne(scan, scratch, link, options).end == UnitRunner::End::Broke) return LinkBroke();
  return {scan.Units().empty() ? kExitDiffers : kExitOk, ScanReport(scan, options.json), {}};
}

CommandResult Send(const CliOptions& options, CliLink& link) {
  RequestList request;
  request.Start({options.arguments[0]}, AnswerTimeout(options, kSendAnswerTimeout));
  DeviceSettings scratch = Defaults();
  if (RunOne(request, scratch, link, options).end == UnitRunner::End::Broke) return LinkBroke();
  const auto& answer = request.Answers()[0];
  if (!answer) return {kExitDiffers, options.json ? "{\"reply\": null}\n" : "", "no answer from the unit"};
  const std::string text = answer->Text();
  CommandResult result{answer->Taken() ? kExitOk : kExitDiffers,
                       options.json ? "{\"reply\": " + JsonString(text) + "}\n" : text + "\n", {}};
  if (!answer->Taken()) result.error = "the unit answered " + text;
  return result;
}

// What the monitor shows: the switch line (or the power-on screen's) to the
// unit, or to every unit of the bus at once, which none answers.
CommandResult Switch(const CliOptions& options, CliLink& link) {
  const auto screen = ScreenNamed(options.arguments[0]);
  if (!screen) return {kExitUsage, {}, "switch: ch01..ch16, 4A, 4B, 4C, 4D, 6A, 6B, 6C, 9A, 9B, 12A, 12B, 16 or auto"};
  const BuiltCommand command = options.powerOn ? PowerOnCommand(*screen) : SwitchCommand(*screen);
  const std::string line = command.text.substr(0, command.text.find('\r'));
  if (options.address == kBroadcastAddress) {
    const auto frame = FrameSerialCommand(command.text, kRs485, kBroadcastAddressIndex);
    if (!frame || !link.Send(0, frame->bytes)) return LinkBroke();
    return {kExitOk, options.json ? "{\"sent\": " + JsonString(line) + ", \"reply\": null}\n"
                                  : line + ": 全ユニットに送信しました（Bloadcast には応答がありません）\n", {}};
  }
  CliOptions one = options;
  one.arguments = {line};
  return Send(one, link);
}

// A history's hundred requests into `model`; its unanswered and refused entries.
struct HistoryRead {
  OneRun run;
  int unanswered, refused;
};
HistoryRead ReadHistory(const CliOptions& options, CliLink& link, bool alarm, DeviceSettings& model) {
  RequestList requests;
  requests.Start(HistoryLines(alarm), AnswerTimeout(options, kSerialAnswerTimeout));
  const OneRun run = RunOne(requests, model, link, options);
  return {run, requests.Unanswered(), requests.Refused()};
}

CommandResult History(const CliOptions& options, CliLink& link) {
  const bool alarm = options.arguments[0] == "alarm";
  if (!alarm && options.arguments[0] != "video-loss") return {kExitUsage, {}, "history: alarm or video-loss"};
  DeviceSettings model = Defaults();
  const HistoryRead read = ReadHistory(options, link, alarm, model);
  if (read.run.end == UnitRunner::End::Broke) return LinkBroke();
  if (read.unanswered == kHistoryEntryCount) return NoAnswer();
  CommandResult result{kExitOk, HistoryReport(alarm ? model.alarmHistory : model.videoLossHistory, options.json, options.csv), {}};
  if (read.unanswered + read.refused > 0 || read.run.cancelled) {
    result.exitCode = kExitDiffers;
    result.error = std::to_string(read.unanswered) + " entries unanswered, " + std::to_string(read.refused) + " refused";
  }
  return result;
}

std::string TimeText(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &time);
  return text;
}

// When the file was last written, in local time; empty when unknown.
std::string FileTime(const std::string& path) {
  const auto written = ModifiedTime(path);
  if (!written) return {};
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &*written) != 0) return {};
#else
  if (!localtime_r(&*written, &local)) return {};
#endif
  return TimeText(local);
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// How the report names the unit the link reaches.
std::string UnitOf(const CliOptions& options) {
  if (!options.tcpHost.empty()) return options.tcpHost;
  if (options.listenPort > 0) return "TCP/IP";
  return options.address >= 0 ? PaddedDecimal(options.address, 2) : "RS-232C";
}

CommandResult WriteReport(const CliOptions& options, const DeviceSettings& settings, const ReportSource& source) {
  CommandResult result = Saved(options.output, SettingsReportHtml(settings, source), {});
  if (result.exitCode != kExitOk) return result;
  if (!options.csvOutput.empty() && !ReplaceWholeFile(options.csvOutput, SettingsReportCsv(settings, true, source))) {
    return {kExitFile, {}, "cannot write " + options.csvOutput};
  }
  return result;
}

// Of a settings data file (no link is opened); or of the unit, its settings
// and both histories read, what it did not give shown as such.
CommandResult Report(const CliOptions& options, CliLink* link, const LocalClock& localTime) {
  const std::tm now = localTime();
  if (!options.arguments.empty()) {
    const std::string& path = options.arguments[0];
    const LoadedFile file = LoadSettingsFile(path);
    if (!file.settings) return file.failure;
    ReportSource source;
    source.file = FileName(path);
    source.time = FileTime(path);
    source.made = TimeText(now);
    return WriteReport(options, *file.settings, source);
  }
  if (!link) return {kExitUsage, {}, "report needs a settings data file or a link"};
  UnitComparison comparison;
  const OneRun run = ReadUnit(options, *link, comparison, Defaults());
  if (run.end == UnitRunner::End::Broke) return LinkBroke();
  if (comparison.UnansweredCount() == comparison.AskedCount()) return NoAnswer();
  DeviceSettings& unit = comparison.unit;
  ReportSource source;
  source.unit = UnitOf(options);
  source.mac = UnitText(unit.macAddress);
  source.version = UnitText(unit.firmwareVersion);
  source.time = source.made = TimeText(now);
  source.unread.assign(ComparedSettings().size(), false);
  for (int step : comparison.Unread()) {
    const std::string request = ReadAllRequest(step + 1);
    const auto& settings = ComparedSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
      if (settings[i].readRequest == request) source.unread[i] = true;
    }
  }
  int unreadEntries = 0;
  for (const bool alarm : {true, false}) {
    const HistoryRead read = ReadHistory(options, *link, alarm, unit);
    if (read.run.end == UnitRunner::End::Broke) return LinkBroke();
    source.unreadHistoryEntries[alarm ? 0 : 1] = read.unanswered + read.refused;
    unreadEntries += read.unanswered + read.refused;
  }
  CommandResult result = WriteReport(options, unit, source);
  if (result.exitCode == kExitOk && (!comparison.Unread().empty() || unreadEntries > 0)) {
    result.exitCode = kExitDiffers;
    result.error = "読めない設定 " + std::to_string(comparison.Unread().size()) + " 件、読めない履歴 " +
                   std::to_string(unreadEntries) + " 件";
  }
  return result;
}

}  // namespace

bool OnSerial(const CliOptions& options) { return !options.serialDevice.empty(); }

Millis AnswerTimeout(const CliOptions& options, Millis serialDefault) {
  if (options.timeoutMs > 0) return Millis(options.timeoutMs);
  return OnSerial(options) ? serialDefault : kSocketAnswerTimeout;
}

// How the link's unit is named in files and rows: its address, or its host
// and port; a unit that dialled in by the address it came from.
UnitName NameOf(const CliOptions& options) {
  if (!options.tcpHost.empty()) return {-1, options.tcpHost, options.tcpPort, {}};
  return {options.address, {}, 0, {}};
}

// The units of the bus that answered a scan; two on one address are refused their rows.
std::optional<CommandResult> ScanBus(const CliOptions& options, CliLink& link, std::vector<BusUnit>& units) {
  BusScan scan;
  scan.Start(options.timeoutMs > 0 ? Millis(options.timeoutMs) : kScanAnswerTimeout);
  DeviceSettings scratch = Defaults();
  const OneRun run = RunOne(scan, scratch, link, options);
  if (run.end == UnitRunner::End::Broke) return LinkBroke();
  if (run.cancelled) return Cancelled();
  units = scan.Units();
  return std::nullopt;
}

bool NeedsLink(const CliOptions& options) {
  return options.command != "show" && !(options.command == "report" && !options.arguments.empty());
}

CommandResult RunCommand(const CliOptions& options, CliLink* link, const LocalClock& localTime) {
  if (options.command == "show") return Show(options);
  if (options.command == "report") return Report(options, link, localTime);
  if (!link) return {kExitUsage, {}, options.command + " needs a link"};
  if (options.command == "read") return Read(options, *link);
  if (options.command == "diff") return Diff(options, *link);
  if (options.command == "apply") return Apply(options, *link, localTime);
  if (options.command == "write") return Write(options, *link);
  if (options.command == "scan") return Scan(options, *link);
  if (options.command == "send") return Send(options, *link);
  if (options.command == "switch") return Switch(options, *link);
  if (options.command == "history") return History(options, *link);
  if (options.command == "clock") return Clock(options, *link, localTime);
  if (options.command == "backup") return Backup(options, *link, localTime);
  if (options.command == "replace") return Replace(options, *link, localTime);
  return {kExitUsage, {}, "unknown subcommand " + options.command};
}

namespace {

// The subcommand on the link, or on the units that dial in: backup, apply
// and clock take every one as it comes; any other waits for the first.
CommandResult RunOnLink(const CliOptions& options, CliLink& link, const LocalClock& localTime) {
  const bool takesEach = options.command == "backup" || options.command == "apply" || options.command == "clock";
  CliOptions first = options;
  if (options.listenPort > 0 && !takesEach && !AwaitFirstUnit(link, first.dialledFrom)) {
    return {kExitLink, {}, "no unit dialled in to port " + std::to_string(options.listenPort) + " within " +
                               std::to_string(options.waitSeconds) + " s"};
  }
  return RunCommand(first, &link, localTime);
}

}  // namespace

int RunProgram(const std::vector<std::string_view>& arguments, const Platform& platform) {
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.options) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    if (json) std::fputs(JsonWithError({}, parsed.error, kExitUsage).c_str(), stdout);
    std::fprintf(stderr, "kelvrix-cli: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  const CliOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(HelpText(options.command).c_str(), stdout);
    return kExitOk;
  }
  CommandResult result;
  if (auto refused = Unwritable(options)) {
    result = *refused;
  } else if (options.command == "watch") {
    result = Watch(options, platform);
  } else if (!NeedsLink(options)) {
    result = RunCommand(options, nullptr, platform.localTime);
  } else if (std::string error; auto link = platform.open(options, error)) {
    result = RunOnLink(options, *link, platform.localTime);
  } else {
    result = {kExitLink, {}, error};
  }
  if (options.json && result.exitCode != kExitOk) result.out = JsonWithError(result.out, result.error, result.exitCode);
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  if (!result.error.empty()) std::fprintf(stderr, "kelvrix-cli: %s\n", result.error.c_str());
  return result.exitCode;
}

}  // namespace kelvrix::cli
