#include "tools/job_run.h"

#include <algorithm>

#include "model/csv_text.h"
#include "model/settings_data_file.h"
#include "model/unit_text.h"

namespace kelvrix {

JobRun::JobRun(UnitConnections& connections, RunFiles& files, JobRunSettings settings)
    : settings_(std::move(settings)),
      files_(files),
      connections_(connections, unitOf_),
      runner_(connections_,
              settings_.serialLink || settings_.clientHosts ? UnitRunner::Turns::OneAtATime : UnitRunner::Turns::AllAtOnce,
              settings_.serialLink) {
  char time[32];
  std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &settings_.date);
  time_ = time;
}

std::size_t JobRun::Add(const UnitName& name, const SettingsSource& source) {
  if (source.settings) {
    auto job = std::make_unique<UnitJob>(settings_.kind, *source.settings, settings_.timeouts, settings_.serialLink,
                                         settings_.sameUnitCheck, settings_.localTime);
    job->Start();
    DeviceSettings& model = job->Model();
    const std::size_t unit = Add(name, std::move(job), model);
    records_[unit].file = source.file;
    return unit;
  }
  const std::size_t unit = records_.size();
  UnitRecord& record = records_.emplace_back();
  record.name = name;
  record.file = source.file;
  record.ended = true;
  record.outcome = source.refusal;
  record.words = source.words;
  jobs_.push_back(nullptr);
  runnerUnit_.push_back(std::nullopt);
  refused_.push_back(unit);
  return unit;
}

std::size_t JobRun::Add(const UnitName& name, Replacement replacement) {
  auto job = std::make_unique<ReplaceJob>(std::move(replacement), settings_.timeouts, settings_.serialLink,
                                          settings_.localTime);
  job->Start();
  DeviceSettings* model = job->Decodes();
  return Add(name, std::move(job), *model);
}

std::size_t JobRun::Add(const UnitName& name, std::unique_ptr<RunJob> job, DeviceSettings& model) {
  const std::size_t unit = records_.size();
  records_.emplace_back().name = name;
  runnerUnit_.push_back(runner_.Add(*job, model, {settings_.serialLink, name.address}, settings_.clientHosts));
  jobs_.push_back(std::move(job));
  unitOf_.push_back(unit);
  return unit;
}

const UnitJob& JobRun::UnitJobOf(std::size_t unit) const {
  return static_cast<const UnitJob&>(*jobs_[unit]);  // every kind but Replace runs a UnitJob
}

void JobRun::Received(std::size_t unit, std::string_view bytes, Millis now) {
  if (unit < runnerUnit_.size() && runnerUnit_[unit]) runner_.Received(*runnerUnit_[unit], bytes, now);
}

void JobRun::Connected(std::size_t unit, Millis now) {
  if (unit < runnerUnit_.size() && runnerUnit_[unit]) runner_.Connected(*runnerUnit_[unit], now);
}

void JobRun::Gone(std::size_t unit, Millis now) {
  if (unit < runnerUnit_.size() && runnerUnit_[unit]) runner_.Gone(*runnerUnit_[unit], now);
}

std::vector<std::size_t> JobRun::TakeEnded() {
  std::vector<std::size_t> ended = std::exchange(refused_, {});
  for (const std::size_t r : runner_.TakeEnded()) {
    Settle(unitOf_[r]);
    ended.push_back(unitOf_[r]);
  }
  return ended;
}

// Names within a run never meet: a second file of one name gets "-2".
std::string JobRun::WriteUnique(const std::string& name, std::string_view bytes) {
  const std::size_t dot = name.rfind('.');
  std::string unique = name;
  for (int n = 2; written_.count(unique) > 0; ++n) unique = name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
  if (!files_.Write(unique, bytes)) return {};
  written_.insert(unique);
  return unique;
}

std::string JobRun::WriteBackup(UnitRecord& record, const DeviceSettings& read) {
  const std::string name = BackupFileName(record.name, settings_.date);
  const std::string file = WriteUnique(name, WriteSettingsData(read));
  const std::string network = NetworkFileName(file);
  if (!file.empty() && files_.Write(network, NetworkCsv(read))) return file;
  record.outcome = UnitOutcome::NotSaved;
  record.words = std::string(UnitOutcomeText(UnitOutcome::NotSaved)) + ": " + (file.empty() ? name : network);
  return {};
}

void JobRun::Settle(std::size_t unit) {
  UnitRecord& record = records_[unit];
  const RunJob& job = *jobs_[unit];
  const DeviceSettings& read = job.Model();
  record.ended = true;
  if (read.macAddress[0] != '\0') record.name.mac = UnitText(read.macAddress);
  if (read.firmwareVersion[0] != '\0') record.version = UnitText(read.firmwareVersion);
  const std::string written = job.Written();
  switch (runner_.EndOf(*runnerUnit_[unit])) {
    case UnitRunner::End::Broke:
      record.outcome = UnitOutcome::LinkBroke;
      record.words = std::string(UnitOutcomeText(record.outcome)) + (written.empty() ? "" : ": " + written);
      return;
    case UnitRunner::End::NotConnected:
      record.outcome = UnitOutcome::NotConnected;
      record.words = UnitOutcomeText(record.outcome);
      return;
    case UnitRunner::End::NeverStarted:
      record.outcome = UnitOutcome::Cancelled;
      record.words = UnitOutcomeText(record.outcome);
      return;
    case UnitRunner::End::Ended:
      record.outcome = job.Outcome();
      record.words = job.Result();
      break;
  }
  switch (settings_.kind) {
    case JobKind::Backup:
      if (record.outcome == UnitOutcome::Done) record.file = WriteBackup(record, read);
      break;
    case JobKind::Replace:
      // The new backup, once the unit was read whole as it now is (before
      // its network values moved it, over TCP/IP).
      if (static_cast<const ReplaceJob&>(job).BackedUp()) record.file = WriteBackup(record, read);
      break;
    case JobKind::Histories:
      // What came of a history is kept even when some entries did not: the row says so.
      if (record.outcome != UnitOutcome::Done && record.outcome != UnitOutcome::Unread) break;
      for (const bool alarm : {true, false}) {
        const std::string name = HistoryFileName(record.name, alarm, settings_.date);
        const std::string file = WriteUnique(name, HistoryCsv(alarm ? read.alarmHistory : read.videoLossHistory,
                                                              settings_.byteOrderMark));
        if (file.empty()) {
          record.outcome = UnitOutcome::NotSaved;
          record.words = std::string(UnitOutcomeText(UnitOutcome::NotSaved)) + ": " + name;
        }
        if (alarm) record.file = file;
      }
      break;
    case JobKind::Apply:
    case JobKind::Clock:
      break;
  }
}

bool AddToInventory(RunFiles& files, const std::string& name, const std::vector<InventoryRow>& rows) {
  const std::string existing = files.Read(name).value_or("");
  return files.Write(name, WithInventoryRows(existing, rows, existing.empty() || existing.starts_with(kByteOrderMark)));
}

std::string_view UnitRecord::State() const {
  if (Ok()) return "完了";
  return outcome == UnitOutcome::Cancelled ? "中止" : "失敗";
}

std::vector<InventoryRow> JobRun::Inventory() const {
  std::vector<InventoryRow> rows;
  const bool replace = settings_.kind == JobKind::Replace;  // its row says what became of whom
  for (const UnitRecord& r : records_) {
    if (!r.ended) continue;
    rows.push_back({UnitLabel(r.name), r.name.mac, r.version, time_, r.file, r.Ok() && !replace ? "ok" : r.words});
  }
  return rows;
}

// Said where a settings file was written: what it holds that the unit did not report.
std::string_view JobRun::InventoryNote() const {
  const bool writesSettings = settings_.kind == JobKind::Backup || settings_.kind == JobKind::Replace;
  const bool wrote = std::any_of(records_.begin(), records_.end(), [](const UnitRecord& r) { return r.Ok() && !r.file.empty(); });
  return writesSettings && wrote ? kNotReported : std::string_view();
}

std::string JobRun::Summary() const {
  int done = 0, failed = 0, cancelled = 0;
  for (const UnitRecord& r : records_) {
    if (!r.ended) continue;
    if (r.Ok()) {
      ++done;
    } else if (r.outcome == UnitOutcome::Cancelled) {
      ++cancelled;
    } else {
      ++failed;
    }
  }
  std::string summary = std::to_string(done) + " 台が完了";
  if (failed > 0) summary += "、" + std::to_string(failed) + " 台が失敗";
  if (cancelled > 0) summary += "、" + std::to_string(cancelled) + " 台が中止";
  return summary;
}

bool JobRun::AllOk() const {
  return !records_.empty() && std::all_of(records_.begin(), records_.end(), [](const UnitRecord& r) { return r.Ok(); });
}

}  // namespace kelvrix
