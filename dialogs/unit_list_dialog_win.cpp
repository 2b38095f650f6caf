// Dialog 163 "ユニット一覧": the list view of the tools' UnitList, the file
// dialogs and the questions its actions ask first, and one timer. The list's
// rows and runs (the bus scan, a backup, the program's settings or each
// unit's own file applied, the clock set, both histories saved) are the
// portable UnitList's, as kelvrix-cli drives the same JobRun: the dialog
// feeds it the link's lines, the units' bytes, comings and goings and the
// time, and shows what changed. No reply is waited for on the GUI thread,
// and the program's settings and file never change.
#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "dialogs/maintenance_tool_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "model/whole_file_win.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"
#include "tools/unit_list.h"

namespace kelvrix::dialogs {

namespace {

using Millis = UnitList::Millis;
Millis Now() { return Millis(GetTickCount64()); }
constexpr UINT kTimer = 40;  // the run's next deadline, the list's refresh, the answers held
constexpr UINT MsgProbed = WM_APP + 1;  // a replacement's unit answered who it is: the question, outside any event
constexpr auto kWriteAnswerTimeout = std::chrono::milliseconds(1000);
// Where the last backup went: the backups a replacement restores, and those
// whose MAC addresses tell a swapped unit.
std::string lastBackupFolder;

// What the units send comes to the list, unless the operator's input waits:
// then it waits for the timer, which comes after that input.
struct HeldTap : UnitTap {
  void Received(SocketHandle socket, std::string_view bytes) override;
  void Arrived() override;
  void Connected(SocketHandle socket) override;
  void Gone(SocketHandle socket) override;
};

struct Dialog {
  Dialog(HWND dialog, Panel& program)
      : dialog(dialog), program(program), own{scratch, program.link, failures, program.transport},
        list(program.link, program.transport, program.settings.portNumber, Now) {}
  HWND dialog;
  Panel& program;
  DeviceSettings scratch{};
  NotedFailures failures;
  Panel own;  // the serial lines come to the dialog through it
  UnitList list;
  HeldTap tap;
  std::deque<std::pair<SocketHandle, std::string>> held;
  std::unique_ptr<FolderFiles> files;
  bool claimed = false;  // the list's run holds batchStep
  int replacing = -1;    // the row whose unit a replacement asked
  std::optional<DeviceSettings> probed;
  // What the window shows now, so that an event changes only what changed:
  // under Wine every call to a control is a round trip.
  std::string status;
  std::optional<bool> busyShown;
  std::optional<Millis> timerDue;
  ULONGLONG progressShownAt = 0;
};
std::optional<Dialog> current;  // the dialog is modal: one at a time

// The action buttons and the job each runs on the checked units.
constexpr std::pair<int, JobKind> kActions[] = {{IDC_UNITS_BACKUP, JobKind::Backup},
                                                {IDC_UNITS_APPLY, JobKind::Apply},
                                                {IDC_UNITS_CLOCK, JobKind::Clock},
                                                {IDC_UNITS_HISTORIES, JobKind::Histories}};

HWND List() { return GetDlgItem(current->dialog, IDC_UNITS_LIST); }
HWND Item(int id) { return GetDlgItem(current->dialog, id); }
UnitList& Units() { return current->list; }

std::vector<std::string> Texts(const ListRow& row) { return {row.Label(), row.name.mac, row.version, row.state, row.result}; }

// The operator's ticks, into the rows, before the list is filled again.
void TakeChecks() {
  auto& rows = Units().Rows();
  for (int i = 0; i < static_cast<int>(rows.size()) && i < ListView_GetItemCount(List()); ++i) {
    rows[i].checked = ListView_GetCheckState(List(), i);
  }
}

// What changed in the list since it was last shown, the progress every tenth
// of a second, the buttons, and the timer for what is due next.
void Show() {
  UnitList& units = Units();
  UnitList::Changes changes = units.TakeChanges();
  if ((changes.all || !changes.rows.empty()) && !units.Busy() && !lastBackupFolder.empty()) {
    units.MarkSwapped(FileNamesIn(lastBackupFolder));  // a swapped unit shows without being looked for
    for (const int i : units.TakeChanges().rows) changes.rows.push_back(i);
  }
  const auto& rows = units.Rows();
  if (changes.all) {
    ListView_DeleteAllItems(List());
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      AddListRow(List(), i, Texts(rows[i]));
      ListView_SetCheckState(List(), i, rows[i].runnable && rows[i].checked);
    }
  }
  for (const int i : changes.rows) {
    const std::vector<std::string> texts = Texts(rows[i]);
    for (int column = 1; column < 5; ++column) {
      std::wstring text = WideFromUtf8(texts[column]);
      ListView_SetItemText(List(), i, column, text.data());
    }
  }
  Dialog& d = *current;
  if (auto probed = units.TakeProbe()) {
    d.probed = std::move(probed);
    PostMessageW(d.dialog, MsgProbed, 0, 0);
  }
  if (units.Status() != d.status) SetItemText(d.dialog, IDC_UNITS_STATUS, d.status = units.Status());
  if (GetTickCount64() - d.progressShownAt >= 100 || !units.Busy()) {
    const auto [done, total] = units.Progress();
    SendDlgItemMessageW(d.dialog, IDC_UNITS_PROGRESS, PBM_SETRANGE32, 0, std::max(1, total));
    SendDlgItemMessageW(d.dialog, IDC_UNITS_PROGRESS, PBM_SETPOS, done, 0);
    d.progressShownAt = GetTickCount64();
  }
  const bool busy = units.Busy();
  if (d.busyShown != busy || changes.all) {
    d.busyShown = busy;
    if (!busy && std::exchange(d.claimed, false)) ReleaseRun(d.dialog);
    EnableWindow(Item(IDC_UNITS_RESCAN), !busy && units.OnBus());
    for (int id : {IDC_UNITS_ALL, IDC_UNITS_NONE}) EnableWindow(Item(id), !busy);
    for (const auto& [button, kind] : kActions) EnableWindow(Item(button), !busy && units.CanRun() && !rows.empty());
    EnableWindow(Item(IDC_UNITS_CANCEL), busy);
    EnableWindow(Item(IDC_UNITS_REPORT), !busy && units.HasInventory());
    EnableWindow(Item(IDC_UNITS_REPLACE), !busy && units.CanRun() && !rows.empty());
  }
  // The timer is set again only when what is due comes sooner.
  std::optional<Millis> due = units.NextWake();
  if (units.RefreshDue() || !d.held.empty()) due = Now();
  if (due && (!d.timerDue || *due < *d.timerDue)) {
    d.timerDue = due;
    SetTimer(d.dialog, kTimer, static_cast<UINT>(std::max<Millis::rep>(USER_TIMER_MINIMUM, (*due - Now()).count() + 1)), nullptr);
  }
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

void HeldTap::Received(SocketHandle socket, std::string_view bytes) {
  if (!Units().Hears(socket)) return;
  if (!current->held.empty() || InputWaits()) {
    current->held.emplace_back(socket, bytes);
  } else {
    Units().Received(socket, bytes);
  }
  Show();
}

void HeldTap::Arrived() {
  Units().Arrived();
  Show();
}

void HeldTap::Connected(SocketHandle socket) {
  Units().Connected(socket);
  Show();
}

void HeldTap::Gone(SocketHandle socket) {
  for (; !current->held.empty(); current->held.pop_front()) Units().Received(current->held.front().first, current->held.front().second);
  Units().Gone(socket);
  Show();
}

void OnTimer() {
  KillTimer(current->dialog, kTimer);
  current->timerDue.reset();
  for (; !current->held.empty(); current->held.pop_front()) Units().Received(current->held.front().first, current->held.front().second);
  if (Units().RefreshDue()) TakeChecks();
  Units().Refresh();
  Units().Tick();
  Show();
}

void OnSerialLine(HWND, std::string_view line) {
  Units().LineReceived(line);
  Show();
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

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

// Where a job's files go (`path`: its report, or a file of the folder to
// apply from), after the file dialogs and the question it asks first;
// nothing when the operator chose nowhere. `ownFiles`: apply each unit's own file.
std::optional<std::wstring> AskFirst(JobKind kind, std::size_t count, bool& ownFiles) {
  HWND dialog = current->dialog;
  constexpr const wchar_t* kCsv = L"CSV(*.csv)\0*.csv\0すべて(*.*)\0*.*\0";
  if (kind == JobKind::Backup) return AskSavePath(dialog, L"バックアップの保存先", kCsv, L"csv", L"inventory.csv");
  if (kind == JobKind::Histories) return AskSavePath(dialog, L"履歴の保存先", kCsv, L"csv", L"histories.csv");
  if (kind != JobKind::Apply) return std::wstring();
  const std::wstring question = L"チェックした " + std::to_wstring(count) +
                                L" 台に設定を適用します。\n\nはい: 読み込んでいる設定を、どのユニットにも\n"
                                L"いいえ: ユニットごとのファイルを、選んだフォルダから";
  const int answer = MessageBoxW(dialog, question.c_str(), L"ユニット一覧", MB_YESNOCANCEL | MB_ICONQUESTION);
  ownFiles = answer == IDNO;
  if (answer == IDYES) return std::wstring();
  if (answer != IDNO) return std::nullopt;
  return AskOpenPath(dialog, L"ユニットごとのファイル（フォルダのファイルを 1 つ選ぶ）",
                     L"設定データ(*.dat)\0*.dat\0すべて(*.*)\0*.*\0");
}

JobRunSettings RunSettings(JobKind kind) { return Units().RunSettings(kind, kWriteAnswerTimeout, LocalNow); }

bool Claim() {
  if (!ClaimRun(current->dialog, current->program.messages, false)) return false;  // each unit has its own socket
  return current->claimed = true;
}

void StartJobs(JobKind kind) {
  UnitList& units = Units();
  TakeChecks();
  bool ownFiles = false;
  const std::size_t count = units.Runnable().size();
  const auto path = count > 0 && !units.Busy() ? AskFirst(kind, count, ownFiles) : std::nullopt;
  // Taken only now: while the boxes were open, the server's units may have come or gone.
  TakeChecks();
  const std::vector<int> checked = units.Runnable();
  if (count == 0 || checked.empty()) SetItemText(current->dialog, IDC_UNITS_STATUS, "ユニットにチェックを付けてください。");
  if (!path || checked.empty() || !Claim()) return;
  const JobRunSettings settings = RunSettings(kind);
  const std::string folder = Utf8FromWide(FolderOf(*path));
  if (kind == JobKind::Backup) lastBackupFolder = folder;
  Units().IdentifyArrivals(!lastBackupFolder.empty());
  current->files = std::make_unique<FolderFiles>(folder, static_cast<FolderFiles::Replace>(ReplaceWholeFile),
                                                 static_cast<FolderFiles::ReadWhole>(ReadWholeFile));
  DeviceSettings initial{};
  ResetSettingsToDefaults(initial);
  const SettingsSource shared{kind == JobKind::Apply ? current->program.settings : initial, {}, UnitOutcome::Done, {}};
  const std::vector<std::string> names = ownFiles ? FileNamesIn(folder) : std::vector<std::string>{};
  const auto read = [&](const std::string& name) { return ReadWholeFile(PathIn(folder, name)); };
  const auto source = [&](const UnitName& unit) { return ownFiles ? SettingsForUnit(names, unit, read) : shared; };
  const bool reports = kind == JobKind::Backup || kind == JobKind::Histories;
  units.StartJobs(settings, checked, source, *current->files,
                  reports ? Utf8FromWide(path->substr(FolderOf(*path).size())) : std::string());
  Show();
}

// "ユニットの交換...": the chosen row's unit is asked who it is; its answer
// comes back as MsgProbed.
void AskReplacement() {
  const int row = ListView_GetNextItem(List(), -1, LVNI_SELECTED);
  if (row < 0 || Units().Busy()) {
    SetItemText(current->dialog, IDC_UNITS_STATUS, "交換するユニットの行を選んでください。");
    return;
  }
  if (lastBackupFolder.empty()) {
    const auto chosen = AskOpenPath(current->dialog, L"バックアップのフォルダ（そのフォルダのファイルを 1 つ選ぶ）",
                                    L"設定データ(*.dat)\0*.dat\0すべて(*.*)\0*.*\0");
    if (!chosen) return;
    lastBackupFolder = Utf8FromWide(FolderOf(*chosen));
    Units().IdentifyArrivals(true);
  }
  if (!Claim()) return;
  current->replacing = row;
  Units().StartProbe(row);
  Show();
}

// The question with the facts, or why there is none; "はい" replaces.
void OnProbed() {
  Dialog& d = *current;
  const int row = std::exchange(d.replacing, -1);
  if (!d.probed || row < 0 || row >= static_cast<int>(Units().Rows().size())) return;
  const bool serial = OnSerialLink(d.program.link);
  const std::string folder = lastBackupFolder;
  const auto read = [&folder](const std::string& name) { return ReadWholeFile(PathIn(folder, name)); };
  const ListRow& unit = Units().Rows()[row];
  const ReplacePlan plan = PlanReplacement(FileNamesIn(folder), unit.name, read, *d.probed, serial);
  if (plan.refusal != UnitOutcome::Done) return d.program.messages.ShowWarning(plan.words);
  const std::wstring question = WideFromUtf8(plan.Facts(unit.Label(), serial) + "\n交換しますか？");
  if (MessageBoxW(d.dialog, question.c_str(), L"ユニットの交換", MB_YESNO | MB_ICONQUESTION) != IDYES || !Claim()) return;
  d.files = std::make_unique<FolderFiles>(folder, static_cast<FolderFiles::Replace>(ReplaceWholeFile),
                                          static_cast<FolderFiles::ReadWhole>(ReadWholeFile));
  Units().StartReplace(RunSettings(JobKind::Replace), row, plan.replacement, *d.files, "inventory.csv");
  Show();
}

void SaveReport() {
  const auto path = AskSavePath(current->dialog, L"レポートの保存", L"CSV(*.csv)\0*.csv\0すべて(*.*)\0*.*\0", L"csv",
                                L"report.csv");
  if (path && !ReplaceWholeFile(*path, Units().InventoryText())) {
    current->program.messages.ShowWarning("保存できませんでした。");  // the program's boxes, one at a time
  }
}

void OnInit(HWND dialog, Panel& panel) {
  Dialog& d = current.emplace(dialog, panel);
  UseOwnPanel(dialog, d.own);
  static constexpr ListColumn kColumns[] = {
      {L"アドレス", 18}, {L"MAC アドレス", 24}, {L"バージョン", 13}, {L"状態", 13}, {L"最後の結果", 32}};
  AddListColumns(List(), kColumns, LVS_EX_CHECKBOXES);
  if (!OnSerialLink(panel.link)) panel.transport.TapUnits(&d.tap);
  d.list.IdentifyArrivals(!lastBackupFolder.empty());
  d.list.List();
  if (d.list.ScanDue()) PostMessageW(dialog, WM_COMMAND, IDC_UNITS_RESCAN, 0);  // the scan starts once the dialog shows
  Show();
}

void OnCommand(HWND dialog, WPARAM wParam) {
  for (const auto& [button, kind] : kActions) {
    if (LOWORD(wParam) == button) return StartJobs(kind);
  }
  switch (LOWORD(wParam)) {
    case IDC_UNITS_RESCAN:
      if (!Units().Busy() && Units().OnBus() && ClaimRun(dialog, current->program.messages)) {
        current->claimed = true;
        Units().StartScan();
      }
      return Show();
    case IDC_UNITS_ALL:
    case IDC_UNITS_NONE:
      for (int i = 0; i < static_cast<int>(Units().Rows().size()); ++i) {
        ListView_SetCheckState(List(), i, LOWORD(wParam) == IDC_UNITS_ALL && Units().Rows()[i].runnable);
      }
      return;
    case IDC_UNITS_CANCEL:
      EnableWindow(Item(IDC_UNITS_CANCEL), FALSE);  // once: the run ends after the requests out
      Units().Cancel();
      return Show();
    case IDC_UNITS_REPORT:
      return SaveReport();
    case IDC_UNITS_REPLACE:
      return AskReplacement();
    default:
      return;
  }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_TIMER && wParam == kTimer) {
    OnTimer();
    return TRUE;
  }
  if (message == MsgProbed) {
    OnProbed();
    return TRUE;
  }
  if (message == WM_DESTROY) {
    KillTimer(dialog, kTimer);
    current->program.transport.UntapUnits(&current->tap);
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK UnitListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"ユニット一覧",
                .slaveAddressBox = SlaveAddressBox::None,  // the list names each unit's address
                .refusesCloseWhileRunning = true,
                .handlesSocketReplies = false,  // the units' bytes come through the tap
                .namesChosenUnit = false},      // it works on every unit, not the chosen one
      .open = OnInit,
      .command = OnCommand,
      .serialLine = OnSerialLine,
      .handle = OnMessage};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
