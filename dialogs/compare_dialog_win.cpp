// Dialog 160 "ユニットと比較": compares the settings the program holds
// (typically a settings file just loaded) with a unit's, lists what differs,
// and writes the checked rows and reads them back. The unit's answers decode
// into the tool's own model, never into the program's.
#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <optional>

#include "dialogs/maintenance_tool_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "resources/resource.h"
#include "tools/unit_comparison.h"

namespace kelvrix::dialogs {

namespace {

void Show(HWND dialog);

struct Comparison {
  explicit Comparison(Panel& program) : tool(program, comparison.unit, comparison, Show) {}
  UnitComparison comparison;
  MaintenanceTool tool;
  int32_t comparedAddress = 0;  // the RS-485 unit the list is of
};
std::optional<Comparison> current;  // the dialog is modal: one at a time

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_COMPARE_LIST); }

// "ファイル: setup.dat    ユニット: Ver. 2.31"
void ShowSource(HWND dialog) {
  const std::string& path = current->tool.program.settings.currentFileName;
  std::string text = "ファイル: " + (path.empty() ? "(なし: 現在の設定)" : path.substr(path.find_last_of("\\/") + 1));
  const char* version = current->comparison.unit.firmwareVersion;
  if (version[0] != '\0') text += "    ユニット: Ver. " + std::string(version);
  SetItemText(dialog, IDC_COMPARE_SOURCE, text);
}

// A row wants writing while the unit still holds something else, or
// something unreadable.
bool WantsWriting(RowState state) {
  return state == RowState::Differs || state == RowState::StillDiffers || state == RowState::Written ||
         state == RowState::Unreadable;
}

// Painted once, not row by row: 152 rows drawn one at a time hold the GUI
// thread for seconds under Wine.
void FillList(HWND dialog) {
  HWND list = List(dialog);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list);
  const UnitComparison& comparison = current->comparison;
  const auto& rows = comparison.Rows();
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ComparisonRow& row = rows[i];
    const ComparedSetting& setting = ComparedSettings()[row.setting];
    const bool unitKnown = UnitValueKnown(row.state);
    const std::string texts[] = {setting.name, ShownValue(setting, comparison.File(), row.elements),
                                 unitKnown ? ShownValue(setting, comparison.unit, row.elements) : "—", row.Result()};
    AddListRow(list, i, texts);
    ListView_SetCheckState(list, i, WantsWriting(row.state));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  SetItemText(dialog, IDC_COMPARE_SUMMARY, comparison.Summary());
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
  const bool running = current->comparison.Running();
  EnableItem(dialog, IDC_COMPARE_START, !running);
  EnableItem(dialog, IDC_COMPARE_WRITE, !running && !CheckedRows(dialog).empty());
  EnableItem(dialog, IDC_COMPARE_CANCEL, running);
}

void ShowProgress(HWND dialog) {
  const UnitComparison& comparison = current->comparison;
  SendDlgItemMessageW(dialog, IDC_COMPARE_PROGRESS, PBM_SETRANGE32, 0, comparison.StepCount());
  SendDlgItemMessageW(dialog, IDC_COMPARE_PROGRESS, PBM_SETPOS, comparison.Running() ? comparison.StepsDone() : 0, 0);
}

void Show(HWND dialog) {
  ShowProgress(dialog);
  if (current->comparison.Running()) return;
  FillList(dialog);
  ShowSource(dialog);
  ShowButtons(dialog);
}

GatedSequence::Millis AnswerTimeout(const LinkState& link) {
  return OnSerialLink(link) ? kSerialAnswerTimeout : kSocketAnswerTimeout;
}

void Run(HWND dialog) {
  ShowButtons(dialog);
  RunTool(dialog);
}

void StartComparing(HWND dialog) {
  MaintenanceTool& tool = current->tool;
  const LinkState& link = tool.panel.link;
  if (ReadsFromBroadcast(link)) {
    tool.program.messages.ShowWarning(kBroadcastReadRefusal);
    return;
  }
  if (!ClaimTool(dialog)) return;
  current->comparedAddress = link.slaveAddressIndex;
  ListView_DeleteAllItems(List(dialog));
  SetItemText(dialog, IDC_COMPARE_SUMMARY, "");
  current->comparison.StartReading(tool.program.settings, AnswerTimeout(link));
  ShowSource(dialog);
  Run(dialog);
}

void StartWriting(HWND dialog) {
  const LinkState& link = current->tool.panel.link;
  if (OnSerialLink(link) && link.rsControl == kRs485 && link.slaveAddressIndex != current->comparedAddress) {
    // The list tells what differs on the unit compared, not on this one.
    current->tool.program.messages.ShowWarning("比較したユニットと違うアドレスが選ばれています。もう一度比較してください。");
    return;
  }
  const std::vector<int> checked = CheckedRows(dialog);
  if (checked.empty() || !ClaimTool(dialog)) return;
  current->comparison.StartWriting(checked, OnSerialLink(link), AnswerTimeout(link),
                                   OnSerialLink(link) && link.rsControl != kRs485);
  Run(dialog);
}

void OnInit(HWND dialog, Panel& panel) {
  current.emplace(panel);
  OpenTool(dialog, current->tool);
  static constexpr ListColumn kColumns[] = {{L"項目", 34}, {L"ファイル", 22}, {L"ユニット", 22}, {L"結果", 22}};
  AddListColumns(List(dialog), kColumns, LVS_EX_CHECKBOXES);
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
      CancelTool(dialog, IDC_COMPARE_CANCEL);
      break;
    default:
      break;
  }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY && IsListNotification(lParam, IDC_COMPARE_LIST, LVN_ITEMCHANGED)) {
    ShowButtons(dialog);  // a row checked or cleared
    return TRUE;
  }
  return ToolMessage(dialog, message, wParam, lParam);
}

}  // namespace

INT_PTR CALLBACK CompareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = ToolDialogParts(L"ユニットと比較", OnInit, OnCommand, OnMessage);
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
