// Dialog 161 "RS-485 バス検索": asks every address of the RS-485 bus for its
// version and MAC address and lists the units that answered; a double-click on one (or Enter
// on the selected one) makes its address the one the setting dialogs talk
// to. On RS-232C or TCP/IP it says why it cannot run.
#include "dialogs/dialog_frame_win.h"

#include <commctrl.h>

#include <optional>

#include "dialogs/maintenance_tool_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "model/digits.h"
#include "resources/resource.h"
#include "tools/bus_scan.h"

namespace kelvrix::dialogs {

namespace {

void Show(HWND dialog);

struct Scan {
  explicit Scan(Panel& program) : tool(program, model, scan, Show) {}
  DeviceSettings model{};  // the versions' answers land here, not in the program's settings
  BusScan scan;
  MaintenanceTool tool;
};
std::optional<Scan> current;  // the dialog is modal: one at a time

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_SCAN_LIST); }

// Empty when the scan can run on this link.
std::string WhyNot(const LinkState& link) {
  if (!OnSerialLink(link)) return "TCP/IP ではユニットにアドレスがないため、検索できません。";
  if (link.rsControl != kRs485) return "RS-232C では 1 台としかつながらないため、検索できません。";
  return {};
}

void ShowButtons(HWND dialog) {
  const bool running = current->scan.Running();
  EnableWindow(GetDlgItem(dialog, IDC_SCAN_START), !running && WhyNot(current->tool.panel.link).empty());
  EnableWindow(GetDlgItem(dialog, IDC_SCAN_CANCEL), running);
}

void Show(HWND dialog) {
  const BusScan& scan = current->scan;
  SendDlgItemMessageW(dialog, IDC_SCAN_PROGRESS, PBM_SETPOS, scan.Running() ? scan.StepsDone() : 0, 0);
  if (scan.Running()) return;
  HWND list = List(dialog);
  ListView_DeleteAllItems(list);
  for (int i = 0; i < static_cast<int>(scan.Units().size()); ++i) {
    const BusUnit& unit = scan.Units()[i];
    const std::string texts[] = {PaddedDecimal(unit.address, 2), unit.version, unit.mac, unit.status};
    AddListRow(list, i, texts);
  }
  SetItemText(dialog, IDC_SCAN_STATUS, scan.Summary());
  ShowButtons(dialog);
}

void Start(HWND dialog) {
  if (!WhyNot(current->tool.panel.link).empty() || !ClaimTool(dialog)) return;
  ListView_DeleteAllItems(List(dialog));
  SetItemText(dialog, IDC_SCAN_STATUS, "検索中…");
  current->scan.Start();
  ShowButtons(dialog);
  RunTool(dialog);
}

// The chosen unit is the one the setting dialogs talk to next.
void Choose(HWND dialog, int row) {
  const auto& units = current->scan.Units();
  if (current->scan.Running() || row < 0 || row >= static_cast<int>(units.size())) return;
  current->tool.panel.link.slaveAddressIndex = units[row].address;
  SelectEntry(dialog, IDC_SLAVE_ADDRESS, units[row].address);
}

void OnInit(HWND dialog, Panel& panel) {
  current.emplace(panel);
  OpenTool(dialog, current->tool);
  static constexpr ListColumn kColumns[] = {
      {L"アドレス", 14}, {L"バージョン", 16}, {L"MAC アドレス", 30}, {L"状態", 40}};
  AddListColumns(List(dialog), kColumns, 0);
  SendDlgItemMessageW(dialog, IDC_SCAN_PROGRESS, PBM_SETRANGE32, 0, kBusScanSteps);
  SetItemText(dialog, IDC_SCAN_STATUS, WhyNot(panel.link));
  ShowButtons(dialog);
}

void OnCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_SCAN_START:
      Start(dialog);
      break;
    case IDC_SCAN_CANCEL:
      CancelTool(dialog, IDC_SCAN_CANCEL);
      break;
    case IDOK:  // Enter on the list: the selected unit, as a double-click
      Choose(dialog, ListView_GetNextItem(List(dialog), -1, LVNI_SELECTED));
      break;
    default:
      break;
  }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY && IsListNotification(lParam, IDC_SCAN_LIST, LVN_ITEMACTIVATE)) {
    Choose(dialog, reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem);
    return TRUE;
  }
  return ToolMessage(dialog, message, wParam, lParam);
}

}  // namespace

INT_PTR CALLBACK BusScanDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = ToolDialogParts(L"RS-485 バス検索", OnInit, OnCommand, OnMessage);
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
