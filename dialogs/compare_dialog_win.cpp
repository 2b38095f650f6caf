// Dialog 160 "ユニットと比較": compares the settings the program holds
// (typically a settings file just loaded) with a unit's, lists what differs,
// and writes the checked rows and reads them back.
//
// The unit's answers decode into a model of the tool's own, never into the
// program's: the dialog works on a panel over that model, whose result boxes
// only note the failure for its row. Requests are paced by their replies
// (UnitComparison): on the serial link the next one goes out as the answer is
// dispatched; on TCP/IP, where the send itself waits for the answer, from a
// short timer, so that a chain of posted replies never holds off the
// operator's "中止".
#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <chrono>
#include <optional>

#include "app/wide_text_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "dialogs/unit_comparison.h"
#include "link/send_command.h"
#include "model/reply_decoders.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

using Millis = std::chrono::milliseconds;

constexpr UINT kAnswerTimer = 20;  // the answer's time-out
constexpr UINT kNextTimer = 21;    // TCP/IP: the next request

// What the dispatcher and the socket wait report while the tool talks to the
// unit: kept for the row, never a box.
class RowFailures : public ResultMessages {
 public:
  void ShowSuccess(std::string_view) override {}
  void ShowError(std::string_view text) override { last = text; }
  void ShowWarning(std::string_view text) override { last = text; }
  std::string last;
};

struct CompareTool {
  explicit CompareTool(Panel& program) : program(program) {}
  Panel& program;
  UnitComparison comparison;
  RowFailures failures;
  Panel panel{comparison.unit, program.link, failures, program.transport};
  bool addressBoxEnabled = false;
};
std::optional<CompareTool> tool;  // the dialog is modal: one at a time

Millis Now() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

bool OnSerialLink(const LinkState& link) { return link.linkInterface == kSerialInterface; }

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_COMPARE_LIST); }

void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextW(dialog, id, WideFromUtf8(text).c_str()); }

// "ファイル: setup.dat   ユニット: Ver. 2.31"
void ShowSource(HWND dialog) {
  const DeviceSettings& settings = tool->program.settings;
  const std::string& path = settings.currentFileName;
  std::string text = "ファイル: " + (path.empty() ? "(なし: 現在の設定)" : path.substr(path.find_last_of("\\/") + 1));
  if (tool->comparison.unit.firmwareVersion[0] != '\0') {
    text += "    ユニット: Ver. " + std::string(tool->comparison.unit.firmwareVersion);
  }
  SetText(dialog, IDC_COMPARE_SOURCE, text);
}

void AddColumns(HWND list) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  RECT client;
  GetClientRect(list, &client);
  const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
  static constexpr struct {
    const wchar_t* heading;
    int percent;
  } kColumns[] = {{L"項目", 34}, {L"ファイル", 22}, {L"ユニット", 22}, {L"結果", 22}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(kColumns[i].heading);
    column.cx = width * kColumns[i].percent / 100;
    ListView_InsertColumn(list, i, &column);
  }
}

// A row wants writing while the unit still holds something else.
bool WantsWriting(RowState state) {
  return state == RowState::Differs || state == RowState::StillDiffers || state == RowState::Written;
}

void FillList(HWND dialog) {
  HWND list = List(dialog);
  ListView_DeleteAllItems(list);
  const UnitComparison& comparison = tool->comparison;
  const auto& rows = comparison.Rows();
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ComparisonRow& row = rows[i];
    const ComparedSetting& setting = ComparedSettings()[row.setting];
    const bool unitKnown = row.state != RowState::NoAnswer && row.state != RowState::Failed;
    const std::wstring texts[] = {
        WideFromUtf8(setting.name), WideFromUtf8(ShownValue(setting, comparison.File(), row.elements)),
        unitKnown ? WideFromUtf8(ShownValue(setting, comparison.unit, row.elements)) : L"—",
        WideFromUtf8(row.Result())};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<wchar_t*>(texts[0].c_str());
    ListView_InsertItem(list, &item);
    for (int column = 1; column < 4; ++column) {
      ListView_SetItemText(list, i, column, const_cast<wchar_t*>(texts[column].c_str()));
    }
    ListView_SetCheckState(list, i, WantsWriting(row.state));
  }
  SetText(dialog, IDC_COMPARE_SUMMARY, comparison.Summary());
}

std::vector<int> CheckedRows(HWND dialog) {
  std::vector<int> checked;
  const int count = ListView_GetItemCount(List(dialog));
  for (int i = 0; i < count; ++i) {
    if (ListView_GetCheckState(List(dialog), i)) checked.push_back(i);
  }
  return checked;
}

void EnableItem(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled); }

void ShowButtons(HWND dialog) {
  const bool running = tool->comparison.Running();
  EnableItem(dialog, IDC_COMPARE_START, !running);
  EnableItem(dialog, IDC_COMPARE_WRITE, !running && !CheckedRows(dialog).empty());
  EnableItem(dialog, IDC_COMPARE_CANCEL, running);
}

void ShowProgress(HWND dialog) {
  const UnitComparison& comparison = tool->comparison;
  SendDlgItemMessageW(dialog, IDC_COMPARE_PROGRESS, PBM_SETRANGE32, 0, comparison.StepCount());
  SendDlgItemMessageW(dialog, IDC_COMPARE_PROGRESS, PBM_SETPOS, comparison.StepsDone(), 0);
}

void Finish(HWND dialog) {
  KillTimer(dialog, kAnswerTimer);
  KillTimer(dialog, kNextTimer);
  LinkState& link = tool->panel.link;
  link.replyPending = 0;  // a request given up on is no one's to wait for
  link.replyWaitTicks = 0;
  ReleaseRun(dialog);
  EnableItem(dialog, IDC_SLAVE_ADDRESS, tool->addressBoxEnabled);
  SendDlgItemMessageW(dialog, IDC_COMPARE_PROGRESS, PBM_SETPOS, 0, 0);
  FillList(dialog);
  ShowSource(dialog);
  ShowButtons(dialog);
}

// Sends what the comparison asks for now, and arms the answer's time-out.
void Pump(HWND dialog) {
  KillTimer(dialog, kAnswerTimer);
  KillTimer(dialog, kNextTimer);
  CompareTool& t = *tool;
  LinkState& link = t.panel.link;
  while (const auto line = t.comparison.Next(Now())) {
    t.failures.last.clear();
    link.replyError = 0;
    link.replyWaitTicks = 0;  // each request waits on its own, never long enough for "No Connect"
    SendCommand(t.panel, *line);
    if (link.replyError == 0) break;
    // Refused or failed by the link, or on TCP/IP not answered in time.
    link.replyError = 0;
    t.comparison.NoReply();
  }
  ShowProgress(dialog);
  if (!t.comparison.Running()) {
    Finish(dialog);
    return;
  }
  const auto wait = std::max<Millis::rep>(1, (t.comparison.Deadline() - Now()).count() + 1);
  SetTimer(dialog, kAnswerTimer, static_cast<UINT>(wait), nullptr);
}

void OnReplied(HWND dialog, std::string_view line) {
  if (!tool || !tool->comparison.Running()) return;
  tool->panel.link.successPending = 0;  // the version's answer raises no "Success": the list tells
  tool->comparison.Replied(ReplyValue(line), tool->failures.last);
  tool->failures.last.clear();
  if (OnSerialLink(tool->panel.link)) {
    Pump(dialog);
  } else {
    SetTimer(dialog, kNextTimer, USER_TIMER_MINIMUM, nullptr);
  }
}

void Begin(HWND dialog) {
  HWND box = GetDlgItem(dialog, IDC_SLAVE_ADDRESS);
  tool->addressBoxEnabled = IsWindowEnabled(box);
  EnableWindow(box, FALSE);  // the unit asked stays the unit answering
  ShowButtons(dialog);
  Pump(dialog);
}

Millis AnswerTimeout(const LinkState& link) { return OnSerialLink(link) ? kSerialAnswerTimeout : kSocketAnswerTimeout; }

void StartComparing(HWND dialog) {
  CompareTool& t = *tool;
  const LinkState& link = t.panel.link;
  if (OnSerialLink(link) && link.rsControl == kRs485 && link.slaveAddressIndex == kBroadcastAddressIndex) {
    t.program.messages.ShowWarning("Bloadcast ではユニットから読み出せません。スレーブアドレスを選んでください。");
    return;
  }
  if (!ClaimRun(dialog, t.program.messages)) return;
  ListView_DeleteAllItems(List(dialog));
  SetText(dialog, IDC_COMPARE_SUMMARY, "");
  t.comparison.StartReading(t.program.settings, AnswerTimeout(link));
  ShowSource(dialog);
  Begin(dialog);
}

void StartWriting(HWND dialog) {
  const std::vector<int> checked = CheckedRows(dialog);
  if (checked.empty() || !ClaimRun(dialog, tool->program.messages)) return;
  const LinkState& link = tool->panel.link;
  tool->comparison.StartWriting(checked, OnSerialLink(link), AnswerTimeout(link));
  Begin(dialog);
}

void OnInit(HWND dialog, Panel& panel) {
  tool.emplace(panel);
  UseOwnPanel(dialog, tool->panel);
  AddColumns(List(dialog));
  ShowSource(dialog);
  ShowButtons(dialog);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_COMPARE_START:
      StartComparing(dialog);
      break;
    case IDC_COMPARE_WRITE:
      StartWriting(dialog);
      break;
    case IDC_COMPARE_CANCEL:
      tool->comparison.Cancel();
      EnableItem(dialog, IDC_COMPARE_CANCEL, false);
      if (!OnSerialLink(tool->panel.link)) Pump(dialog);  // between requests: ends at once
      break;
    default:
      break;
  }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && (wParam == kAnswerTimer || wParam == kNextTimer)) {
    Pump(dialog);
    return TRUE;
  }
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_COMPARE_LIST &&
      reinterpret_cast<NMHDR*>(lParam)->code == LVN_ITEMCHANGED) {
    ShowButtons(dialog);  // a row checked or cleared
    return TRUE;
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK CompareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"ユニットと比較", .slaveAddressBox = SlaveAddressBox::UnitsOnly,
                .refusesCloseWhileRunning = true},
      .open = OnInit,
      .command = OnCommand,
      .replied = OnReplied,
      .handle = OnMessage};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
