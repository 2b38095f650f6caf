// Dialog 163 "ユニット一覧": the units of the link in one list (on RS-485
// those a bus scan finds, at opening and on "再検索"; on RS-232C the one
// unit; in the TCP/IP server role the units connected, as they come and go;
// in the client role the host list) and, on the checked ones, a backup (a
// settings data file each, beside the inventory the operator places), the
// program's settings or each unit's own file applied (compared, what
// differs written and read back), the clock set, both histories saved: on a
// serial line one unit after the other, to the server's units all at once,
// to the client's hosts each connected in its turn beside the operator's own
// connection, which stays as it was (its own host is asked on it). Each
// unit's answers decode into a model of its own: the program's settings and
// file never change, and no reply is waited for on the GUI thread.
#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "dialogs/maintenance_tool_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "model/digits.h"
#include "model/settings_data_file.h"
#include "model/whole_file_win.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"
#include "tools/bus_scan.h"
#include "tools/jobs_in_turn.h"
#include "tools/network_run.h"
#include "tools/unit_files.h"

namespace kelvrix::dialogs {

namespace {

void Show(HWND dialog);
void PumpSoon();
using Millis = NetworkRun::Millis;

struct Row {
  UnitName name;
  std::string version, state, result;
  bool runnable;  // a unit that can be asked alone: not one of two on an address
  bool checked = true;
  SocketHandle socket = 0;  // a unit connected to the server: its connection
  uint64_t serial = 0;
  int host = -1;  // the client's: its place in the host list
};

// The TCP/IP units' bytes, the server's units coming and going, the
// client's visits made or refused.
struct ListTap : UnitTap {
  void Received(SocketHandle socket, std::string_view bytes) override;
  void Arrived() override;
  void Connected(SocketHandle socket) override;
  void Gone(SocketHandle socket) override;
  HWND dialog = nullptr;
};

struct UnitList {
  explicit UnitList(Panel& program)
      : scanTool(program, scanModel, scan, Show), jobsTool(program, jobsModel, run, Show) {}
  DeviceSettings scanModel{}, jobsModel{};  // the link's own dispatch lands here; the jobs keep their own
  BusScan scan;
  JobsInTurn run;
  MaintenanceTool scanTool, jobsTool;
  std::vector<Row> rows;
  bool scanning = false;
  bool running = false;
  std::unique_ptr<NetworkRun> network;  // over TCP/IP, the run under way or the last one
  std::vector<SocketHandle> sockets;    // job k's connection, 0 once it went (or, as a visit, before it starts)
  std::vector<bool> connected;          // job k's connection was made
  std::optional<Millis> visitGivenUpAt;  // the client's visit under way: when its connect is given up
  bool cancelled = false;
  bool pumpDue = false, refreshDue = false;
  // The run under way, or the last one.
  JobKind kind = JobKind::Backup;
  std::vector<std::unique_ptr<UnitJob>> jobs;
  std::vector<int> jobRows;  // job k's row
  std::vector<std::string> jobFiles;  // apply: the file of job k's unit, if it has one of its own
  std::wstring report;       // the report's path; the units' files go beside it
  std::string time;          // "2026-12-09T21:05:30"
  std::tm date{};
  ULONGLONG startedAt = 0, progressShownAt = 0;
  std::vector<InventoryRow> done;  // a row per unit of the run
};
std::optional<UnitList> current;  // the dialog is modal: one at a time

ListTap tap;

constexpr auto kWriteAnswerTimeout = std::chrono::milliseconds(1000);
constexpr UINT kNetworkTimer = 40;  // TCP/IP: the next requests, or the first time-out
constexpr UINT kRefreshTimer = 41;  // the server's units came or went
constexpr Millis kVisitConnectBound{5000};

// The action buttons and the job each runs on the checked units.
constexpr std::pair<int, JobKind> kActions[] = {{IDC_UNITS_BACKUP, JobKind::Backup},
                                                {IDC_UNITS_APPLY, JobKind::Apply},
                                                {IDC_UNITS_CLOCK, JobKind::Clock},
                                                {IDC_UNITS_HISTORIES, JobKind::Histories}};

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_UNITS_LIST); }
const LinkState& Link() { return current->scanTool.program.link; }
bool OnBus() { return OnSerialLink(Link()) && Link().rsControl == kRs485; }
bool OnServer() { return !OnSerialLink(Link()) && Link().clientServerMode == 1; }
bool OnClient() { return !OnSerialLink(Link()) && Link().clientServerMode != 1; }
LinkTransport& Transport() { return current->jobsTool.program.transport; }
Millis Now() { return Millis(GetTickCount64()); }

// Empty when runs can go on this link.
std::string WhyNot() {
  if (OnClient() && Link().hostList.empty()) return "ホストリストにホストがありません。";
  return {};
}

std::string Label(const Row& row) {
  if (!row.name.ip.empty()) return row.name.ip;
  return row.name.address >= 0 ? PaddedDecimal(row.name.address, 2) : "RS-232C";
}

SequenceSet& Units() { return current->network ? current->network->Set() : current->run.Set(); }

void ShowButtons(HWND dialog) {
  const UnitList& u = *current;
  const bool busy = u.scanning || u.running;
  const bool can = !busy && WhyNot().empty() && !u.rows.empty();
  EnableWindow(GetDlgItem(dialog, IDC_UNITS_RESCAN), !busy && OnBus());
  for (int id : {IDC_UNITS_ALL, IDC_UNITS_NONE}) EnableWindow(GetDlgItem(dialog, id), !busy);
  for (const auto& [button, kind] : kActions) EnableWindow(GetDlgItem(dialog, button), can);
  EnableWindow(GetDlgItem(dialog, IDC_UNITS_CANCEL), busy);
  EnableWindow(GetDlgItem(dialog, IDC_UNITS_REPORT), !busy && !u.done.empty());
}

void ShowRow(HWND dialog, int i) {
  const Row& row = current->rows[i];
  const std::string texts[] = {Label(row), row.name.mac, row.version, row.state, row.result};
  for (int column = 1; column < 5; ++column) {
    std::wstring text = WideFromUtf8(texts[column]);
    ListView_SetItemText(List(dialog), i, column, text.data());
  }
}

void FillList(HWND dialog) {
  HWND list = List(dialog);
  ListView_DeleteAllItems(list);
  for (int i = 0; i < static_cast<int>(current->rows.size()); ++i) {
    const Row& row = current->rows[i];
    const std::string texts[] = {Label(row), row.name.mac, row.version, row.state, row.result};
    AddListRow(list, i, texts);
    ListView_SetCheckState(list, i, row.runnable && row.checked);
  }
}

// The operator's ticks, into the rows, before the list is filled again.
void TakeChecks(HWND dialog) {
  for (int i = 0; i < static_cast<int>(current->rows.size()); ++i) {
    current->rows[i].checked = ListView_GetCheckState(List(dialog), i);
  }
}

void CheckAll(HWND dialog, bool checked) {
  for (int i = 0; i < static_cast<int>(current->rows.size()); ++i) {
    ListView_SetCheckState(List(dialog), i, checked && current->rows[i].runnable);
  }
}

bool StillConnected(const Row& row) {
  const ConnectionTable& table = Link().connections;
  const int at = table.Find(row.socket);
  return at != 0 && table[at].serial == row.serial;
}

// The client's hosts, each a unit; the one the operator is connected to says so.
void ListHosts(HWND dialog) {
  UnitList& u = *current;
  const LinkState& link = Link();
  for (int k = 0; k < static_cast<int>(link.hostList.size()); ++k) {
    const bool own = link.socketConnected == 1 && k == link.selectedConnection;
    u.rows.push_back({{-1, DottedAddress(link.hostList[k]), {}}, {}, own ? "接続中" : "", {}, true, true, 0, 0, k});
  }
  FillList(dialog);
  SetItemText(dialog, IDC_UNITS_STATUS, "ホストリスト: " + std::to_string(u.rows.size()) + " 台");
}

// The server's units as they are now. During a run its rows stay where they
// are (a unit gone shows so in its row); between runs a unit gone leaves
// the list. A unit that came is added, checked.
void ListConnected(HWND dialog) {
  UnitList& u = *current;
  TakeChecks(dialog);
  if (!u.running) std::erase_if(u.rows, [](const Row& row) { return !StillConnected(row); });
  const ConnectionTable& table = Link().connections;
  for (int at : table.ListedRows()) {
    const auto socket = static_cast<SocketHandle>(table[at].socket);
    const auto listed = [&](const Row& row) { return row.socket == socket && row.serial == table[at].serial; };
    if (std::none_of(u.rows.begin(), u.rows.end(), listed)) {
      u.rows.push_back({{-1, table[at].peerAddress, {}}, {}, "接続中", {}, true, true, socket, table[at].serial});
    }
  }
  for (Row& row : u.rows) {
    if (!StillConnected(row) && row.state != "完了" && row.state != "失敗") row.state = "切断";
  }
  FillList(dialog);
  if (!u.running) SetItemText(dialog, IDC_UNITS_STATUS, "接続中のユニット: " + std::to_string(u.rows.size()) + " 台");
}

void StartScan(HWND dialog) {
  UnitList& u = *current;
  if (u.scanning || u.running || !OnBus()) return;
  OpenTool(dialog, u.scanTool);
  if (!ClaimTool(dialog)) return;
  u.rows.clear();
  FillList(dialog);
  SetItemText(dialog, IDC_UNITS_STATUS, "検索中…");
  SendDlgItemMessageW(dialog, IDC_UNITS_PROGRESS, PBM_SETRANGE32, 0, kBusScanSteps);
  u.scanning = true;
  u.scan.Start();
  ShowButtons(dialog);
  RunTool(dialog);
}

void ScanEnded(HWND dialog) {
  UnitList& u = *current;
  u.scanning = false;
  for (const BusUnit& unit : u.scan.Units()) {
    u.rows.push_back({{unit.address, {}, unit.mac}, unit.version, unit.status, {}, !unit.conflict});
  }
  FillList(dialog);
  SetItemText(dialog, IDC_UNITS_STATUS, u.scan.Summary());
}

// Where the run's report goes, and its units' files beside it; false when
// the operator chose nowhere.
bool ChooseReport(HWND dialog, const wchar_t* title, const wchar_t* name) {
  const auto path = AskSavePath(dialog, title, L"CSV(*.csv)\0*.csv\0すべて(*.*)\0*.*\0", L"csv", name);
  if (path) current->report = *path;
  return path.has_value();
}

std::wstring Beside(const std::string& name) {
  const std::wstring& report = current->report;
  return report.substr(0, report.find_last_of(L"\\/") + 1) + WideFromUtf8(name);
}

// Writes `bytes` beside the report: the file's name, or why it is missing.
std::string Save(const std::string& name, const std::string& bytes, std::string& result) {
  if (ReplaceFile(Beside(name), bytes)) return name;
  result = "保存できません: " + name;
  return {};
}

std::string DayTag(const char* suffix) {
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", &current->date);
  return std::string(suffix) + "_" + day + ".csv";
}

// One unit's job ended: its files, its row.
void JobEnded(HWND dialog, std::size_t k) {
  UnitList& u = *current;
  UnitJob& job = *u.jobs[k];
  Row& row = u.rows[u.jobRows[k]];
  const DeviceSettings& read = job.Model();
  if (read.macAddress[0] != '\0') row.name.mac = read.macAddress;
  if (read.firmwareVersion[0] != '\0') row.version = read.firmwareVersion;
  const bool broke = Units().BrokeOff(k);
  std::string result = !broke ? job.Result() : u.connected[k] ? "接続が切れました" : "接続できません", file;
  const bool heard = job.Succeeded() || (!broke && result != "応答なし" && result != "中止");
  if (u.kind == JobKind::Backup && heard) {
    file = Save(BackupFileName(row.name, u.date), WriteSettingsData(read), result);
  } else if (u.kind == JobKind::Histories && heard) {
    const std::string stem = UnitLabel(row.name) + (row.name.mac.empty() ? "" : "_" + row.name.mac);
    file = Save(stem + DayTag("_alarm"), HistoryCsv(read.alarmHistory, true), result);
    if (!file.empty()) Save(stem + DayTag("_video-loss"), HistoryCsv(read.videoLossHistory, true), result);
  }
  if (u.kind == JobKind::Apply) file = u.jobFiles[k];
  if (u.sockets[k] != 0 && OnClient() && u.sockets[k] != Transport().OwnConnection()) {
    u.sockets[k] = 0;
    Transport().EndVisit();
  }
  const bool ok = job.Succeeded() && result == job.Result();
  row.state = ok ? "完了" : "失敗";
  row.result = result;
  u.done.push_back({UnitLabel(row.name), row.name.mac, row.version, u.time, file, ok ? "ok" : result});
  ShowRow(dialog, u.jobRows[k]);
}

void RunEnded(HWND dialog) {
  UnitList& u = *current;
  u.running = false;
  if (u.network) {
    KillTimer(dialog, kNetworkTimer);
    ReleaseRun(dialog);
  }
  for (std::size_t k = 0; k < u.jobs.size(); ++k) {
    if (Units().Started(k)) continue;
    Row& row = u.rows[u.jobRows[k]];
    row.state = "中止";
    ShowRow(dialog, u.jobRows[k]);
  }
  const auto failed = std::count_if(u.done.begin(), u.done.end(), [](const InventoryRow& r) { return !r.Saved(); });
  std::string summary = std::to_string(u.done.size() - failed) + " 台が完了";
  if (failed > 0) summary += "、" + std::to_string(failed) + " 台が失敗";
  const ULONGLONG tenths = (GetTickCount64() - u.startedAt + 50) / 100;
  summary += "（" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " 秒）";
  if (!u.report.empty() && !ReplaceFile(u.report, InventoryCsv(u.done, true))) summary += "（レポートを保存できません）";
  SetItemText(dialog, IDC_UNITS_STATUS, summary);
}

void ShowProgress(HWND dialog) {
  UnitList& u = *current;
  const auto [done, total] = u.scanning ? std::pair(u.scan.StepsDone(), u.scan.StepCount()) : Units().Progress();
  SendDlgItemMessageW(dialog, IDC_UNITS_PROGRESS, PBM_SETRANGE32, 0, std::max(1, total));
  SendDlgItemMessageW(dialog, IDC_UNITS_PROGRESS, PBM_SETPOS, done, 0);
  u.progressShownAt = GetTickCount64();
}

void Show(HWND dialog) {
  UnitList& u = *current;
  ShowProgress(dialog);
  if (u.scanning) {
    if (!u.scan.Running()) ScanEnded(dialog);
  } else if (u.running) {
    for (std::size_t k : Units().TakeEnded()) JobEnded(dialog, k);
    if (!Units().Running()) RunEnded(dialog);
  }
  ShowButtons(dialog);
}

// The client's hosts one after the other: the unit whose turn has come is
// asked once its connection is made, the operator's own or a visit. A visit
// refused, or not made in time, ends its unit, and the next one's turn comes.
void ConnectTurn() {
  UnitList& u = *current;
  while (const auto turn = Units().Turn()) {
    const std::size_t k = *turn;
    if (u.connected[k] || u.cancelled) return u.network->Connected(k);
    if (u.sockets[k] == 0) {
      const Row& row = u.rows[u.jobRows[k]];
      const SocketHandle own = Transport().OwnConnection();
      if (own != 0 && row.host == Link().selectedConnection) {
        u.sockets[k] = own;
        u.connected[k] = true;
        continue;
      }
      u.sockets[k] = Transport().VisitUnit(Link().hostList[row.host], u.jobsTool.program.settings.portNumber);
      u.visitGivenUpAt = Now() + kVisitConnectBound;
      if (u.sockets[k] != 0) return;
    } else if (Now() < *u.visitGivenUpAt) {
      return;
    }
    u.network->Broke(k);
  }
}

// Over TCP/IP: whatever may go out now goes, each request to its unit. One
// after the other, a unit that ended gives the next its turn: its
// connection is sought on the next pump.
void SendReady() {
  UnitList& u = *current;
  if (OnClient()) ConnectTurn();
  const auto turn = Units().Turn();
  for (const NetworkRun::Out& out : u.network->Next(Now())) {
    if (u.sockets[out.unit] == 0 || !Transport().SendToUnit(u.sockets[out.unit], out.bytes)) u.network->Broke(out.unit);
  }
  if (OnClient() && Units().Turn() != turn) PumpSoon();
}

// The timer's pump: what may go out now, the timer set for the first
// time-out, the progress and the rows of the units that ended.
void NetworkPump(HWND dialog) {
  UnitList& u = *current;
  KillTimer(dialog, kNetworkTimer);
  u.pumpDue = false;
  if (!u.network || !u.running) return;
  SendReady();
  auto wake = u.network->Deadline();
  if (const auto turn = Units().Turn(); turn && !u.connected[*turn] && u.visitGivenUpAt) {
    wake = std::min(wake.value_or(*u.visitGivenUpAt), *u.visitGivenUpAt);
  }
  if (wake) SetTimer(dialog, kNetworkTimer, static_cast<UINT>(std::max<Millis::rep>(1, (*wake - Now()).count() + 1)), nullptr);
  Show(dialog);
}

void PumpSoon() {
  UnitList& u = *current;
  if (u.pumpDue) return;
  u.pumpDue = true;
  SetTimer(tap.dialog, kNetworkTimer, USER_TIMER_MINIMUM, nullptr);
}

// Whether the operator's input waits in the queue; asked at most every few
// milliseconds, as the question costs more than a reply's handling.
bool InputWaits() {
  static ULONGLONG lastAsked = 0;
  const ULONGLONG now = GetTickCount64();
  if (now - lastAsked < 5) return false;
  lastAsked = now;
  return HIWORD(GetQueueStatus(QS_INPUT)) != 0;
}

std::optional<std::size_t> JobOn(SocketHandle socket) {
  const auto& sockets = current->sockets;
  const auto at = std::find(sockets.begin(), sockets.end(), socket);
  if (socket == 0 || at == sockets.end()) return std::nullopt;
  return static_cast<std::size_t>(at - sockets.begin());
}

// The unit that answered gets its next request at once, so that its time
// to answer runs while the others' answers are taken. Socket notifications
// come before the operator's input: once input waits, the requests wait
// for the timer's pump, which comes after it. A unit's end shows at once,
// the progress every tenth of a second.
void ListTap::Received(SocketHandle socket, std::string_view bytes) {
  UnitList& u = *current;
  if (!u.network || !u.running) return;
  const auto k = JobOn(socket);
  if (!k) return;
  u.network->Received(*k, bytes);
  if (InputWaits()) return PumpSoon();
  SendReady();
  const auto ended = Units().TakeEnded();
  for (std::size_t unit : ended) JobEnded(dialog, unit);
  if (!ended.empty()) PumpSoon();
  if (GetTickCount64() - u.progressShownAt >= 100) ShowProgress(dialog);
}

void ListTap::Connected(SocketHandle socket) {
  if (const auto k = JobOn(socket); k && current->running) {
    current->connected[*k] = true;
    PumpSoon();
  }
}

void ListTap::Arrived() {
  if (std::exchange(current->refreshDue, true)) return;
  SetTimer(dialog, kRefreshTimer, USER_TIMER_MINIMUM, nullptr);
}

// A unit of the run whose connection went ends now: a handle the system
// gives again belongs to another unit.
void ListTap::Gone(SocketHandle socket) {
  if (const auto k = JobOn(socket)) {
    current->sockets[*k] = 0;
    if (current->running) {
      current->network->Broke(*k);
      PumpSoon();
    }
  }
  if (OnServer()) Arrived();
}

std::tm LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::tm tm{};
  tm.tm_year = now.wYear - 1900;
  tm.tm_mon = now.wMonth - 1;
  tm.tm_mday = now.wDay;
  tm.tm_hour = now.wHour;
  tm.tm_min = now.wMinute;
  tm.tm_sec = now.wSecond;
  return tm;
}

// The folder of the units' own files, which the operator points at by
// choosing one of them.
std::optional<std::wstring> AskUnitFilesFolder(HWND dialog) {
  const auto path = AskOpenPath(dialog, L"ユニットごとのファイル（フォルダのファイルを 1 つ選ぶ）",
                                L"設定データ(*.dat)\0*.dat\0すべて(*.*)\0*.*\0");
  if (!path) return std::nullopt;
  return path->substr(0, path->find_last_of(L"\\/") + 1);
}

std::vector<std::string> DataFileNames(const std::wstring& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*.dat").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Utf8FromWide(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// What a job compares its unit with: the settings to apply (or, for the
// other jobs, the initial values), the file they came from, or why there are none.
struct UnitSource {
  DeviceSettings settings{};
  std::string file, missing;
};

UnitSource SourceFor(const UnitName& unit, const std::optional<std::wstring>& folder,
                     const std::vector<std::string>& names, const DeviceSettings& shared) {
  if (!folder) return {shared, {}, {}};
  const auto name = FileForUnit(names, unit);
  if (!name) return {{}, {}, "ファイルがありません"};
  const auto text = ReadWholeFile(*folder + WideFromUtf8(*name));
  if (!text) return {{}, *name, "ファイルを読めません"};
  UnitSource source{{}, *name, {}};
  ResetSettingsToDefaults(source.settings);
  ReadSettingsData(*text, source.settings);
  return source;
}

// The rows of the checked units that can run now.
std::vector<int> CheckedRows(HWND dialog) {
  std::vector<int> checked;
  for (int i = 0; i < static_cast<int>(current->rows.size()); ++i) {
    const Row& row = current->rows[i];
    const bool reachable = !OnServer() || StillConnected(row);
    if (row.runnable && reachable && ListView_GetCheckState(List(dialog), i)) checked.push_back(i);
  }
  if (checked.empty()) SetItemText(dialog, IDC_UNITS_STATUS, "ユニットにチェックを付けてください。");
  return checked;
}

void StartJobs(HWND dialog, JobKind kind) {
  UnitList& u = *current;
  if (u.scanning || u.running || !WhyNot().empty()) return;
  const std::size_t count = CheckedRows(dialog).size();
  if (count == 0) return;
  u.report.clear();
  if (kind == JobKind::Backup && !ChooseReport(dialog, L"バックアップの保存先", L"inventory.csv")) return;
  if (kind == JobKind::Histories && !ChooseReport(dialog, L"履歴の保存先", L"histories.csv")) return;
  std::optional<std::wstring> folder;  // apply: each unit's own file from there
  if (kind == JobKind::Apply) {
    const std::wstring question = L"チェックした " + std::to_wstring(count) +
                                  L" 台に設定を適用します。\n\nはい: 読み込んでいる設定を、どのユニットにも\n"
                                  L"いいえ: ユニットごとのファイルを、選んだフォルダから";
    const int answer = MessageBoxW(dialog, question.c_str(), L"ユニット一覧", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL || (answer == IDNO && !(folder = AskUnitFilesFolder(dialog)))) return;
  }
  // Taken only now: while the boxes above were open, the server's units may
  // have come or gone, and the rows with them.
  const std::vector<int> checked = CheckedRows(dialog);
  if (checked.empty()) return;
  OpenTool(dialog, u.jobsTool);
  if (!ClaimRun(dialog, u.jobsTool.program.messages, false)) return;  // no chosen socket needed: each unit has its own
  u.kind = kind;
  u.startedAt = GetTickCount64();
  u.date = LocalNow();
  char time[32];
  std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &u.date);
  u.time = time;
  DeviceSettings defaults{};
  ResetSettingsToDefaults(defaults);
  const DeviceSettings& shared = kind == JobKind::Apply ? u.jobsTool.program.settings : defaults;
  const std::vector<std::string> names = folder ? DataFileNames(*folder) : std::vector<std::string>{};
  u.network.reset();
  u.jobs.clear();
  u.jobRows.clear();
  u.jobFiles.clear();
  u.sockets.clear();
  u.connected.clear();
  u.visitGivenUpAt.reset();
  u.cancelled = false;
  u.done.clear();
  const bool serial = OnSerialLink(Link());
  const JobTimeouts timeouts = serial ? JobTimeouts{kSerialAnswerTimeout, kWriteAnswerTimeout}
                                      : JobTimeouts{kSocketAnswerTimeout, kSocketAnswerTimeout};
  std::vector<UnitJob*> jobs;
  std::vector<int> addresses;
  std::vector<NetworkRun::Unit> parts;
  for (int i : checked) {
    Row& row = u.rows[i];
    const UnitSource source = SourceFor(row.name, folder, names, shared);
    row.result = source.missing;
    row.state = source.missing.empty() ? "待機中" : "失敗";
    ShowRow(dialog, i);
    if (!source.missing.empty()) {
      u.done.push_back({UnitLabel(row.name), row.name.mac, row.version, u.time, source.file, source.missing});
      continue;
    }
    // On RS-232C the cable may have moved to another unit: ask its MAC address again before writing.
    const int address = row.name.address;
    u.jobs.push_back(std::make_unique<UnitJob>(kind, source.settings, timeouts, serial, serial && address < 0, u.date));
    UnitJob& job = *u.jobs.back();
    job.Start();
    jobs.push_back(&job);
    addresses.push_back(address);
    parts.push_back({&job, &job.Model()});
    u.jobRows.push_back(i);
    u.jobFiles.push_back(source.file);
    u.sockets.push_back(row.socket);
    u.connected.push_back(!OnClient());
  }
  u.running = true;
  SetItemText(dialog, IDC_UNITS_STATUS, "実行中…");
  ShowButtons(dialog);
  if (serial) {
    u.run.Start(jobs, addresses);
    RunTool(dialog);
  } else {
    u.network = std::make_unique<NetworkRun>(parts, OnClient());
    NetworkPump(dialog);
  }
}

void SaveReport(HWND dialog) {
  if (!ChooseReport(dialog, L"レポートの保存", L"report.csv")) return;
  if (!ReplaceFile(current->report, InventoryCsv(current->done, true))) {
    current->jobsTool.program.messages.ShowWarning("保存できませんでした。");  // the program's boxes, one at a time
  }
}

void OnInit(HWND dialog, Panel& panel) {
  current.emplace(panel);
  tap.dialog = dialog;
  OpenTool(dialog, current->jobsTool);
  static constexpr ListColumn kColumns[] = {
      {L"アドレス", 18}, {L"MAC アドレス", 24}, {L"バージョン", 13}, {L"状態", 13}, {L"最後の結果", 32}};
  AddListColumns(List(dialog), kColumns, LVS_EX_CHECKBOXES);
  if (!WhyNot().empty()) {
    SetItemText(dialog, IDC_UNITS_STATUS, WhyNot());
  } else if (OnBus()) {
    PostMessageW(dialog, WM_COMMAND, IDC_UNITS_RESCAN, 0);  // the scan starts once the dialog shows
  } else if (OnServer()) {
    Transport().TapUnits(&tap);
    ListConnected(dialog);
  } else if (OnClient()) {
    Transport().TapUnits(&tap);
    ListHosts(dialog);
  } else {
    current->rows.push_back({{}, {}, {}, {}, true});
    FillList(dialog);
    SetItemText(dialog, IDC_UNITS_STATUS, "RS-232C: 1 台");
  }
  ShowButtons(dialog);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  for (const auto& [button, kind] : kActions) {
    if (LOWORD(wParam) == button) return StartJobs(dialog, kind);
  }
  switch (LOWORD(wParam)) {
    case IDC_UNITS_RESCAN:
      StartScan(dialog);
      break;
    case IDC_UNITS_ALL:
    case IDC_UNITS_NONE:
      CheckAll(dialog, LOWORD(wParam) == IDC_UNITS_ALL);
      break;
    case IDC_UNITS_CANCEL:
      if (current->network) {
        EnableWindow(GetDlgItem(dialog, IDC_UNITS_CANCEL), FALSE);
        current->cancelled = true;
        current->network->Cancel();
        NetworkPump(dialog);
      } else {
        CancelTool(dialog, IDC_UNITS_CANCEL);
      }
      break;
    case IDC_UNITS_REPORT:
      SaveReport(dialog);
      break;
    default:
      break;
  }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kNetworkTimer) {
    NetworkPump(dialog);
    return TRUE;
  }
  if (message == WM_TIMER && wParam == kRefreshTimer) {
    KillTimer(dialog, kRefreshTimer);
    current->refreshDue = false;
    if (OnServer()) ListConnected(dialog);
    return TRUE;
  }
  if (message == WM_DESTROY) Transport().TapUnits(nullptr);
  return ToolMessage(dialog, message, wParam, lParam);
}

}  // namespace

INT_PTR CALLBACK UnitListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = [] {
    DialogParts parts = ToolDialogParts(L"ユニット一覧", OnInit, OnCommand, OnMessage);
    parts.frame.slaveAddressBox = SlaveAddressBox::None;  // the list names each unit's address
    parts.frame.namesChosenUnit = false;                  // and works on every unit, not the chosen one
    return parts;
  }();
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
