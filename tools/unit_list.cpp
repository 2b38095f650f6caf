#include "tools/unit_list.h"

#include <algorithm>

#include "tools/replace_job.h"

namespace kelvrix {

std::string ListRow::Label() const {
  return name.address < 0 && name.ip.empty() ? "RS-232C" : UnitLabel(name);
}

UnitList::UnitList(const LinkState& link, LinkTransport& transport, std::string portText, Clock clock)
    : link_(link), transport_(transport), portText_(std::move(portText)), clock_(std::move(clock)) {}

bool UnitList::OnSerial() const { return link_.linkInterface == kSerialInterface; }
bool UnitList::OnBus() const { return OnSerial() && link_.rsControl == kRs485; }
bool UnitList::OnServer() const { return !OnSerial() && link_.clientServerMode == 1; }
bool UnitList::OnClient() const { return !OnSerial() && link_.clientServerMode != 1; }
bool UnitList::CanRun() const { return !OnClient() || !link_.hostList.empty(); }

RunEvents* UnitList::Run() const {
  if (scanning_) return scanning_.get();
  if (probing_) return probing_.get();
  return running_ ? jobs_.get() : nullptr;
}

namespace {

// A unit that came is asked its MAC address briefly: a silent one holds the
// list's actions back two seconds at most.
constexpr UnitList::Millis kIdentifyTimeout{1000};

ListRow Row(UnitName name, std::string state) {
  ListRow row;
  row.name = std::move(name);
  row.state = std::move(state);
  return row;
}

}  // namespace

void UnitList::List() {
  changes_.all = true;
  if (OnServer()) {
    ListConnected();
    return IdentifyNew();
  }
  if (OnClient() && link_.hostList.empty()) {
    status_ = "ホストリストにホストがありません。";
  } else if (OnClient()) {
    for (int k = 0; k < static_cast<int>(link_.hostList.size()); ++k) {
      const bool own = link_.socketConnected == 1 && k == link_.selectedConnection;
      rows_.push_back(Row({-1, DottedAddress(link_.hostList[k]), 0, {}}, own ? "接続中" : ""));
      rows_.back().host = k;
    }
    status_ = "ホストリスト: " + std::to_string(rows_.size()) + " 台";
  } else if (!OnBus()) {
    rows_.emplace_back();
    status_ = "RS-232C: 1 台";
  }
}

bool UnitList::StillConnected(const ListRow& row) const {
  const int at = link_.connections.Find(row.socket);
  return at != 0 && link_.connections[at].serial == row.serial;
}

void UnitList::ListConnected() {
  if (!Busy()) std::erase_if(rows_, [this](const ListRow& row) { return !StillConnected(row); });
  const ConnectionTable& table = link_.connections;
  for (int at : table.ListedRows()) {
    const auto socket = static_cast<SocketHandle>(table[at].socket);
    const auto listed = [&](const ListRow& row) { return row.socket == socket && row.serial == table[at].serial; };
    if (std::any_of(rows_.begin(), rows_.end(), listed)) continue;
    rows_.push_back(Row({-1, table[at].peerAddress, 0, {}}, "接続中"));
    rows_.back().socket = socket;
    rows_.back().serial = table[at].serial;
  }
  for (ListRow& row : rows_) {
    if (!StillConnected(row) && !row.settled) row.state = "切断";
  }
  changes_.all = true;
  if (!Busy()) status_ = "接続中のユニット: " + std::to_string(rows_.size()) + " 台";
}

void UnitList::Refresh() {
  if (!std::exchange(refreshDue_, false)) return;
  ListConnected();
  IdentifyNew();
}

void UnitList::IdentifyNew() {
  if (!identifyArrivals_ || Busy() || !OnServer()) return;
  std::vector<int> unknown;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (rows_[i].name.mac.empty() && !std::exchange(rows_[i].asked, true)) unknown.push_back(i);
  }
  if (unknown.empty()) return;
  identifying_ = true;
  Probe(unknown, {"REMA"}, kIdentifyTimeout);
  Settle();
}

std::vector<int> UnitList::Runnable() const {
  std::vector<int> checked;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    const ListRow& row = rows_[i];
    if (row.runnable && row.checked && (!OnServer() || StillConnected(row))) checked.push_back(i);
  }
  return checked;
}

void UnitList::StartScan() {
  if (Busy() || !OnBus()) return;
  rows_.clear();
  changes_.all = true;
  status_ = "検索中…";
  scan_.Start();
  scanning_ = std::make_unique<UnitRunner>(*this, UnitRunner::Turns::OneAtATime, true);
  scanning_->Add(scan_, scanModel_, {true, -1});
  scanning_->Start(clock_());
  Settle();
}

JobRunSettings UnitList::RunSettings(JobKind kind, Millis writeTimeout, const LocalClock& localTime) const {
  JobRunSettings settings;
  settings.kind = kind;
  settings.serialLink = OnSerial();
  settings.clientHosts = OnClient();
  settings.sameUnitCheck = OnSerial() && !OnBus();  // the cable may have moved to another unit
  settings.timeouts = OnSerial() ? JobTimeouts{kSerialAnswerTimeout, writeTimeout}
                                 : JobTimeouts{kSocketAnswerTimeout, kSocketAnswerTimeout};
  settings.localTime = localTime;
  settings.date = localTime();
  return settings;
}

void UnitList::StartJobs(const JobRunSettings& settings, const std::vector<int>& checked,
                         const std::function<SettingsSource(const UnitName&)>& source, RunFiles& files,
                         std::string report) {
  if (Busy() || checked.empty()) return;
  jobs_ = std::make_unique<JobRun>(*this, files, settings);
  files_ = &files;
  report_ = std::move(report);
  replacing_ = false;
  TakeRows(checked);
  for (int i : checked) jobs_->Add(rows_[i].name, source(rows_[i].name));
  status_ = "実行中…";
  running_ = true;
  startedAt_ = clock_();
  jobs_->Start(clock_());
  Settle();
}

void UnitList::TakeRows(const std::vector<int>& rows) {
  jobRows_ = rows;
  sockets_.assign(rows.size(), 0);
  jobOf_.clear();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    ListRow& row = rows_[rows[k]];
    SetSocket(k, row.socket);
    row.state = "待機中";
    row.result.clear();
    changes_.rows.push_back(rows[k]);
  }
}

void UnitList::StartProbe(int row) {
  if (Busy() || row < 0 || row >= static_cast<int>(rows_.size())) return;
  identifying_ = false;
  Probe({row}, ReplacementQuestions(OnSerial()), OnSerial() ? kSerialAnswerTimeout : kSocketAnswerTimeout);
  status_ = "ユニットに問い合わせ中…";
  Settle();
}

void UnitList::Probe(const std::vector<int>& rows, const std::vector<std::string>& lines, Millis timeout) {
  TakeRows(rows);
  probes_.assign(rows.size(), {});
  probed_.assign(rows.size(), {});
  probeDone_ = false;
  probing_ = std::make_unique<UnitRunner>(*this, OnServer() ? UnitRunner::Turns::AllAtOnce : UnitRunner::Turns::OneAtATime,
                                          OnSerial());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    probes_[k].Start(lines, timeout);
    probing_->Add(probes_[k], probed_[k], {OnSerial(), rows_[rows[k]].name.address}, OnClient());
  }
  probing_->Start(clock_());
}

void UnitList::ProbeEnded() {
  for (std::size_t k = 0; k < jobRows_.size(); ++k) {
    ListRow& row = rows_[jobRows_[k]];
    const bool answered = probing_->EndOf(k) == UnitRunner::End::Ended && !probing_->Cancelled() &&
                          probes_[k].Unanswered() < probes_[k].StepCount();
    if (identifying_ && IsMacAddress(probed_[k].macAddress)) row.name.mac = probed_[k].macAddress;
    row.state = identifying_ ? "接続中" : answered ? "" : "失敗";
    row.result = answered || identifying_ ? "" : std::string(UnitOutcomeText(UnitOutcome::NoAnswer));
    changes_.rows.push_back(jobRows_[k]);
    probeDone_ = !identifying_ && answered;
  }
  probing_.reset();
  status_ = identifying_ ? "接続中のユニット: " + std::to_string(rows_.size()) + " 台" : std::string();
}

std::optional<DeviceSettings> UnitList::TakeProbe() {
  if (!std::exchange(probeDone_, false)) return std::nullopt;
  return probed_.front();
}

void UnitList::StartReplace(const JobRunSettings& settings, int row, Replacement replacement, RunFiles& files,
                            std::string inventory) {
  if (Busy() || row < 0 || row >= static_cast<int>(rows_.size())) return;
  jobs_ = std::make_unique<JobRun>(*this, files, settings);
  files_ = &files;
  report_ = std::move(inventory);
  replacing_ = true;
  TakeRows({row});
  jobs_->Add(rows_[row].name, std::move(replacement));
  status_ = "交換中…";
  running_ = true;
  startedAt_ = clock_();
  jobs_->Start(clock_());
  Settle();
}

void UnitList::MarkSwapped(const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    ListRow& row = rows_[i];
    if (!IsMacAddress(row.name.mac)) continue;
    UnitName place = row.name;
    place.mac.clear();
    const auto file = FileForUnit(names, place);
    const std::string backedUp = file ? MacInBackupName(*file) : std::string();
    if (backedUp.empty() || backedUp == row.name.mac) continue;
    row.state = "交換？";
    changes_.rows.push_back(static_cast<int>(i));
  }
}

void UnitList::Cancel() {
  if (RunEvents* run = Run()) run->Cancel(clock_());
  Settle();
}

void UnitList::Settle() {
  if (probing_ && !probing_->Running()) ProbeEnded();
  if (scanning_ && !scanning_->Running()) {
    scanning_.reset();
    for (const BusUnit& unit : scan_.Units()) {
      rows_.push_back(Row({unit.address, {}, 0, unit.mac}, unit.status));
      rows_.back().version = unit.version;
      rows_.back().runnable = !unit.conflict;
    }
    changes_.all = true;
    status_ = scan_.Summary();
  }
  if (!jobs_) return;
  for (const std::size_t k : jobs_->TakeEnded()) {
    const UnitRecord& record = jobs_->Record(k);
    ListRow& row = rows_[jobRows_[k]];
    row.name.mac = record.name.mac;
    if (!record.version.empty()) row.version = record.version;
    row.state = record.State();
    row.result = record.words;
    row.settled = true;
    changes_.rows.push_back(jobRows_[k]);
  }
  if (!running_ || jobs_->Running()) return;
  running_ = false;
  const Millis tenths = (clock_() - startedAt_ + Millis(50)) / 100;
  status_ = jobs_->Summary() + "（" + std::to_string(tenths.count() / 10) + "." + std::to_string(tenths.count() % 10) + " 秒）";
  const bool saved = report_.empty() || (replacing_ ? AddToInventory(*files_, report_, jobs_->Inventory())
                                                    : files_->Write(report_, InventoryText()));
  if (!saved) status_ += "（レポートを保存できません）";
}

std::string UnitList::InventoryText() const {
  return jobs_ ? InventoryCsv(jobs_->Inventory(), true, jobs_->InventoryNote()) : std::string();
}

UnitList::Changes UnitList::TakeChanges() {
  Changes changes = std::exchange(changes_, {});
  if (changes.all) changes.rows.clear();
  return changes;
}

std::optional<std::size_t> UnitList::JobOn(SocketHandle socket) const {
  const auto at = jobOf_.find(socket);
  if (socket == 0 || at == jobOf_.end() || !Busy()) return std::nullopt;
  return at->second;
}

void UnitList::SetSocket(std::size_t unit, SocketHandle socket) {
  if (sockets_[unit] != 0) jobOf_.erase(sockets_[unit]);
  sockets_[unit] = socket;
  if (socket != 0) jobOf_[socket] = unit;
}

void UnitList::LineReceived(std::string_view line) {
  if (RunEvents* run = Run()) run->LineReceived(line, clock_());
  Settle();
}

void UnitList::Received(SocketHandle socket, std::string_view bytes) {
  if (const auto k = JobOn(socket)) Run()->Received(*k, bytes, clock_());
  Settle();
}

void UnitList::Connected(SocketHandle socket) {
  if (const auto k = JobOn(socket)) Run()->Connected(*k, clock_());
  Settle();
}

// A unit of the run whose connection went ends now: a handle the system
// gives again belongs to another unit.
void UnitList::Gone(SocketHandle socket) {
  if (const auto k = JobOn(socket)) {
    SetSocket(*k, 0);
    Run()->Gone(*k, clock_());
  }
  Arrived();
  Settle();
}

void UnitList::Tick() {
  if (RunEvents* run = Run()) run->Tick(clock_());
  Settle();
}

bool UnitList::Send(std::size_t unit, std::string_view bytes) {
  if (OnSerial()) return transport_.WriteSerial(std::string(bytes));
  return sockets_[unit] != 0 && transport_.SendToUnit(sockets_[unit], bytes);
}

// The client's host in its turn: on the operator's own connection, or a visit beside it.
UnitConnections::Opening UnitList::Open(std::size_t unit) {
  const ListRow& row = rows_[jobRows_[unit]];
  if (const SocketHandle own = transport_.OwnConnection(); own != 0 && row.host == link_.selectedConnection) {
    SetSocket(unit, own);
    return Opening::Open;
  }
  if (row.host < 0 || row.host >= static_cast<int>(link_.hostList.size())) return Opening::Failed;
  SetSocket(unit, transport_.VisitUnit(link_.hostList[row.host], portText_));
  return sockets_[unit] != 0 ? Opening::Pending : Opening::Failed;
}

void UnitList::Close(std::size_t unit) {
  const SocketHandle socket = sockets_[unit];
  SetSocket(unit, 0);
  if (socket != 0 && socket != transport_.OwnConnection()) transport_.EndVisit();
}

}  // namespace kelvrix
